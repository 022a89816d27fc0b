// The program quorlin: the application object and the entry that runs it.
#include "QuorlinApp.h"

CQuorlinApp theApp;

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
