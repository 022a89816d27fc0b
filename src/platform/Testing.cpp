#include "Testing.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>

#include <mutex>

#include "Runtime.h"

// Under LeakSanitizer: fontconfig keeps a cache it never frees, which is not ours to report.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

// Under ThreadSanitizer: Qt's libraries are not instrumented, so what they do inside their own
// pool threads (image conversion, intercepted memory calls) looks unsynchronised. Reports whose
// racing accesses are both Qt's are not ours; our own accesses are instrumented and reported.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "race:libQt6Gui.so.6\n";
}

namespace platform {

namespace {

std::mutex gHookMutex;
std::function<void(CDialog&)> gShownHook;

}  // namespace

void RunDialogShownHook(CDialog& dialog) {
    std::function<void(CDialog&)> hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gShownHook;
    }
    if (hook)
        hook(dialog);
}

}  // namespace platform

namespace platform::testing {

GuiSession::GuiSession() {
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "quorlin-test";
        static char* argv[] = {name, nullptr};
        static QApplication* application = new QApplication(argc, argv);
        (void)application;
    }
    Runtime::Get().StartGui();
}

GuiSession::~GuiSession() {
    SetDialogShownHook({});
    Runtime::Get().ShutDown();
}

void SetDialogShownHook(std::function<void(CDialog&)> hook) {
    std::lock_guard lock(gHookMutex);
    gShownHook = std::move(hook);
}

void PostToGuiThread(std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void ProcessEvents(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        Runtime::Get().CarryOutPending(/*batch=*/false);
        QThread::msleep(1);
    } while (timer.elapsed() < milliseconds);
}

void CarryOutPendingSends() {
    Runtime::Get().CarryOutPending(/*batch=*/false);
}

void ShutDownLayer() {
    Runtime::Get().ShutDown();
}

bool IsLayerShutDown() {
    return Runtime::Get().IsShutDown();
}

QWidget* WidgetOf(HWND window) {
    WindowRecord* record = Runtime::Get().Find(window);
    return record ? record->widget.data() : nullptr;
}

bool GrabWindow(HWND window, const std::string& pngPath, int* width, int* height) {
    QWidget* widget = WidgetOf(window);
    if (widget == nullptr)
        return false;
    const QPixmap image = widget->grab();
    if (width)
        *width = image.width();
    if (height)
        *height = image.height();
    return image.save(QString::fromStdString(pngPath), "PNG");
}

void OpenSystemMenu(HWND dialog, int x, int y) {
    QWidget* widget = WidgetOf(dialog);
    if (widget == nullptr)
        return;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(x, y),
                            widget->mapToGlobal(QPoint(x, y)));
    QCoreApplication::sendEvent(widget, &event);
}

}  // namespace platform::testing
