// The window's texts from "language.xml" and the name table from "Config.xml", read from the
// current directory as the window opens, under the offscreen platform.
#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

#include <array>
#include <clocale>
#include <string>

#include "WindowFixture.h"

namespace {

using quorlin::test::WindowFixture;

const std::array<std::string, 10> kBuiltInColumns = {
    "SN",      "Model",       "MAC",      "LocalIP",  "NetMask",
    "Gateway", "ControlPort", "HttpPort", "RtspPort", "Version"};
const std::array<std::string, 5> kTemplateTexts = {"Discovery", "Local IP Address",
                                                   "NetMask Address", "Gateway Address", "Modify"};
constexpr int kRetitled[5] = {IDC_DISCOVERY, IDC_LABEL_LOCAL_IP, IDC_LABEL_NETMASK,
                              IDC_LABEL_GATEWAY, IDC_MODIFY};
const std::array<std::string, 10> kNoColumnTitles{};
const std::array<std::string, 5> kNoTexts{};

// Runs the window under a Latin-1 code page, as a Western European system would, and restores
// the previous one afterwards.
class Latin1Window : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        m_locale = std::setlocale(LC_CTYPE, nullptr);
        ASSERT_NE(std::setlocale(LC_CTYPE, "en_US.ISO-8859-1"), nullptr)
            << "the en_US.ISO-8859-1 locale is missing";
    }
    void TearDown() override {
        WindowFixture::TearDown();
        std::setlocale(LC_CTYPE, m_locale.c_str());
    }
    std::string m_locale;
};

struct LanguageCase {
    const char* fixture;  // copied to "language.xml"; null: no such file
    std::string title;    // as the window holds it, in the code page
    QString shownTitle;   // as the window shows it
    std::array<std::string, 10> columns;
    std::array<std::string, 5> controls;
    std::string caption, success, failure;
};

TEST_F(Latin1Window, LanguageFileRetitlesTheWindowOrLeavesTheTemplate) {
    const std::string templateTitle = "Quorlin V3.0 Build 20150120";
    const LanguageCase cases[] = {
        {nullptr, templateTitle, "Quorlin V3.0 Build 20150120", kBuiltInColumns, kTemplateTexts, "",
         "", ""},
        {"language-broken.xml", templateTitle, "Quorlin V3.0 Build 20150120", kBuiltInColumns,
         kTemplateTexts, "", "", ""},
        {"empty.xml", templateTitle, "Quorlin V3.0 Build 20150120", kBuiltInColumns, kTemplateTexts,
         "", "", ""},
        {"language.xml",
         "Quorlin R\xe9seau",
         QString::fromUtf8("Quorlin Réseau"),
         // An empty second element leaves column 1 empty; the third still titles column 2.
         // Elements past the tenth column and the fifth control are ignored.
         {"Num\xe9ro", "", "Adresse MAC", "IP", "Masque", "Passerelle", "Port", "HTTP", "RTSP",
          "Version"},
         {"Recherche", "Adresse IP locale", "Masque r\xe9seau", "Passerelle", "Modifier"},
         "Quorlin",
         "R\xe9ussi",
         "\xc9"
         "chec"},
        // Only a title: ten columns without titles, the buttons and labels emptied.
        {"language-title-only.xml", "Only a title", "Only a title", kNoColumnTitles, kNoTexts, "",
         "", ""},
        // A file without a title empties the caption too.
        {"language-three-columns.xml",
         "",
         "",
         {"Serial", "Name", "MAC address", "", "", "", "", "", "", ""},
         {"Find", "", "", "", ""},
         "",
         "",
         ""},
        // A misspelt root still loads: every text is empty.
        {"language-misspelt-root.xml", "", "", kNoColumnTitles, kNoTexts, "", "", ""},
        // Characters outside the code page become its default character.
        {"language-latin1-title.xml", "Caf\xe9 cr\xe8me ? 5 ?",
         QString::fromUtf8("Café crème ? 5 ?"), kNoColumnTitles, kNoTexts, "", "", ""},
    };
    for (const LanguageCase& c : cases) {
        const std::string name = c.fixture ? c.fixture : "(no file)";
        std::filesystem::remove(m_folder / "language.xml");
        if (c.fixture)
            Install(c.fixture, "language.xml");
        CQuorlinDlg& dlg = Open();

        CString title;
        dlg.GetWindowText(title);
        EXPECT_EQ(title.str(), c.title) << name;
        EXPECT_EQ(platform::testing::WidgetOf(dlg.m_hWnd)->windowTitle(), c.shownTitle) << name;

        ASSERT_EQ(dlg.m_deviceList.GetColumnCount(), 10) << name;
        for (int column = 0; column < 10; ++column) {
            EXPECT_EQ(dlg.m_deviceList.GetColumnText(column).str(), c.columns[column])
                << name << " column " << column;
            EXPECT_EQ(dlg.m_deviceList.GetColumnWidth(column), kDeviceListColumnWidths[column])
                << name << " column " << column;
        }
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(ControlText(kRetitled[i]), c.controls[i]) << name << " control " << i;
        // The check boxes keep their template texts.
        EXPECT_EQ(ControlText(IDC_CHECK_DVR), "DVR") << name;
        EXPECT_EQ(ControlText(IDC_CHECK_IPC), "IPC") << name;
        EXPECT_EQ(ControlText(IDC_CHECK_DEC), "DEC") << name;
        EXPECT_EQ(ControlText(IDC_CHECK_NVR), "NVR") << name;

        EXPECT_EQ(dlg.m_languageTexts.messageCaption, c.caption) << name;
        EXPECT_EQ(dlg.m_languageTexts.successText, c.success) << name;
        EXPECT_EQ(dlg.m_languageTexts.failureText, c.failure) << name;
        CloseWindow();
    }
}

TEST_F(WindowFixture, NameTableIsReadFromConfigXmlAsTheWindowOpens) {
    Install("Config.xml", "Config.xml");
    CQuorlinDlg& dlg = Open();
    const NameTable expected{
        {"5001", "Front door recorder"},  // the first of two entries with this key
        {"0262", "Dome camera"},
        {"5002", "Caf\xe9 \xc3\xa9"},  // the file's bytes, not converted
        {"5003A", "never matches a device"},
    };
    EXPECT_EQ(dlg.m_nameTable, expected);
    CloseWindow();

    // Without the file the table is empty.
    std::filesystem::remove(m_folder / "Config.xml");
    EXPECT_TRUE(Open().m_nameTable.empty());
}

}  // namespace
