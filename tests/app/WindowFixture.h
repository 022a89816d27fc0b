// WindowFixture.h: the main window opened in a fresh current directory, which holds the
// program's optional files (copied from tests/data/app) under the names the program reads.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "QuorlinApp.h"
#include "QuorlinDlg.h"
#include "Resource.h"
#include "TestFolder.h"
#include "Testing.h"
#include "Threads.h"

namespace quorlin::test {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        m_folder = EnterFreshTestFolder("quorlin-");
        platform::testing::RecordMessageBoxes(true);
        platform::testing::TakeMessageBoxes();
    }

    void TearDown() override {
        CloseWindow();
        platform::testing::RecordMessageBoxes(false);
        EXPECT_TRUE(StopAndWaitForAllThreads(30000));
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_folder);
    }

    static std::string DataFile(const std::string& name) {
        const char* root = std::getenv("QUORLIN_TEST_DATA");
        return std::string(root != nullptr ? root : "tests/data") + "/app/" + name;
    }

    // Puts fixture `fixture` into the current directory as `name` ("language.xml", ...).
    void Install(const std::string& fixture, const std::string& name) {
        std::filesystem::copy_file(DataFile(fixture), m_folder / name,
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // The main dialog, opened without a modal loop of its own.
    CQuorlinDlg& Open() {
        m_dialog = std::make_unique<CQuorlinDlg>();
        EXPECT_TRUE(m_dialog->Create(IDD_QUORLIN_DIALOG));
        return *m_dialog;
    }

    // Runs the close sequence (which cleans up the SDK) and lets the dialog go.
    void CloseWindow() {
        if (m_dialog && IsWindow(m_dialog->m_hWnd) && m_dialog->IsWindowVisible())
            m_dialog->SendMessage(WM_CLOSE);
        m_dialog.reset();
    }

    std::string ControlText(int id) const {
        CString text;
        m_dialog->GetDlgItem(id)->GetWindowText(text);
        return text.str();
    }

    platform::testing::GuiSession m_session;
    CQuorlinApp m_app;
    std::unique_ptr<CQuorlinDlg> m_dialog;
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};

}  // namespace quorlin::test
