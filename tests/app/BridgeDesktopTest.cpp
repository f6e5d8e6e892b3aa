// The desktop services on the headless backend: the bookmark files (read
// back byte for byte and by Python's plistlib), their names, and what the
// other services hand to the platform.
#include "BridgeTestUtil.h"
#include "ChildProcess.h"
#include "DesktopText.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

using bridgetest::N;
using bridgetest::Page;
using bridgetest::S;
using testsupport::ReadFile;
namespace fs = std::filesystem;

namespace {

// The URL a property-list reader finds in the file.
std::string PlistURL(const fs::path& file)
{
    std::string cmd = "python3 -c \"import plistlib, sys; "
                      "sys.stdout.write(plistlib.load(open(sys.argv[1], 'rb'))['URL'])\" '" +
                      file.string() + "' 2>&1";
    std::string out;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// Every file under root, as paths relative to it.
std::set<std::string> FilesUnder(const fs::path& root)
{
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory())
            files.insert(fs::relative(e.path(), root).string());
    return files;
}

// A page whose program lies in root/app/ and whose desktop folder is
// root/home/Desktop.
class BridgeDesktop : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/rilo-desktop-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_root = tmpl;
        fs::create_directories(Desktop());
        fs::create_directories(m_root / "app");
        m_page = std::make_unique<Page>(m_root.string() + "/app/");
        m_page->platform.desktopFolder = Desktop().string();
    }
    void TearDown() override
    {
        m_page.reset();
        fs::remove_all(m_root);
    }
    fs::path Desktop() const { return m_root / "home" / "Desktop"; }
    std::string Icon(const std::string& name) const
    {
        return m_root.string() + "/app/MacHtml/" + name + ".icns";
    }

    fs::path m_root;
    std::unique_ptr<Page> m_page;
};

std::string Bookmark(const std::string& url)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n"
           "<dict>\n"
           "<key>URL</key>\n"
           "<string>" +
           url +
           "</string>\n"
           "</dict>\n"
           "</plist>\n";
}

} // namespace

TEST_F(BridgeDesktop, BookmarkFileIsTheTemplateAndOverwritesItsNamesake)
{
    m_page->Call("CreateNonCloudShortcut_Address_MAC_",
                 {S("RC-100"), S("http://192.0.2.2:8000"), S("02005E000201")});
    fs::path file = Desktop() / "Quillmar RC-100(02005E000201).webloc";
    std::string text = ReadFile(file);
    EXPECT_EQ(Bookmark("http://192.0.2.2:8000"), text);
    EXPECT_EQ(223u - 2 + std::string("http://192.0.2.2:8000").size(), text.size());
    EXPECT_EQ("http://192.0.2.2:8000", PlistURL(file));
    ASSERT_EQ(1u, m_page->platform.icons.size());
    EXPECT_EQ(file.string(), m_page->platform.icons[0].first);
    EXPECT_EQ(Icon("RC-100"), m_page->platform.icons[0].second);

    // The same name and identifier: one file, the later address.
    m_page->Call("CreateShortcut_URL_", {S("RC-100"), S("https://02005E000201.example.invalid/")});
    m_page->Call("CreateNonCloudShortcut_Address_MAC_",
                 {S("RC-100"), S("http://192.0.2.3"), S("02005E000201")});
    EXPECT_EQ(Bookmark("http://192.0.2.3"), ReadFile(file));
    EXPECT_EQ(
        (std::set<std::string>{"Quillmar RC-100(02005E000201).webloc", "Quillmar RC-100().webloc"}),
        FilesUnder(Desktop()));
}

TEST_F(BridgeDesktop, CloudIdentifierNamesTheFile)
{
    struct Case {
        const char* address;
        const char* id;
    } cases[] = {
        {"https://abcd1234.remote.invalid/view", "abcd1234"},
        {"//12345678.", "12345678"},
        {"http://abcd123.remote.invalid", ""},   // seven characters
        {"http://abcd12345.remote.invalid", ""}, // nine
        {"abcd1234.remote.invalid", ""},         // no "//"
        {"http://abcd1234", ""},                 // no "."
        {"a.b://abcd1234.remote", ""},           // the first "." comes before
        {"http://192.0.2.2:8000", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.id, desktoptext::CloudID(c.address)) << c.address;

    m_page->Call("CreateShortcut_URL_", {S("RC-100"), S("https://abcd1234.remote.invalid/view")});
    m_page->Call("CreateShortcut_URL_", {S("RC-200"), S("http://192.0.2.2")});
    EXPECT_EQ(
        (std::set<std::string>{"Quillmar RC-100(abcd1234).webloc", "Quillmar RC-200().webloc"}),
        FilesUnder(Desktop()));
}

TEST_F(BridgeDesktop, HostileTextsStayInTheirFolders)
{
    // "/" in the name, the MAC text or the identifier becomes "_", as do
    // control characters; the address is escaped and reads back the same.
    const std::string address = "http://192.0.2.2/?a=1&b=<script>&amp;";
    m_page->Call("CreateNonCloudShortcut_Address_MAC_", {S("../../x"), S(address), S("../..")});
    m_page->Call("CreateShortcut_URL_", {S("/etc/cron.d/x\n"), S("http://ab/cd/ef.invalid")});
    m_page->Call("CreateNonCloudShortcut_Address_MAC_",
                 {S(".."), S("http://192.0.2.2"), S(std::string("a\0/b", 4))});
    fs::path hostile = Desktop() / "Quillmar .._.._x(.._..).webloc";
    EXPECT_EQ((std::set<std::string>{"home/Desktop/Quillmar .._.._x(.._..).webloc",
                                     "home/Desktop/Quillmar _etc_cron.d_x_(ab_cd_ef).webloc",
                                     "home/Desktop/Quillmar ..(a__b).webloc"}),
              FilesUnder(m_root));
    EXPECT_EQ(Bookmark("http://192.0.2.2/?a=1&amp;b=&lt;script&gt;&amp;amp;"), ReadFile(hostile));
    EXPECT_EQ(address, PlistURL(hostile));

    // A name with "/" would take the icon from outside the page folder: it
    // gets none. ".." alone stays inside ("MacHtml/...icns").
    ASSERT_EQ(3u, m_page->platform.icons.size());
    EXPECT_EQ("", m_page->platform.icons[0].second);
    EXPECT_EQ("", m_page->platform.icons[1].second);
    EXPECT_EQ(Icon(".."), m_page->platform.icons[2].second);
}

TEST_F(BridgeDesktop, UnwritableBookmarksWriteNothingAndSaySo)
{
    testing::internal::CaptureStderr();
    // An ASCII property list cannot carry these addresses.
    m_page->Call("CreateNonCloudShortcut_Address_MAC_",
                 {S("RC-100"), S("http://caf\xC3\xA9.invalid"), S("m1")});
    m_page->Call("CreateNonCloudShortcut_Address_MAC_",
                 {S("RC-100"), S("http://x\n.invalid"), S("m2")});
    // No desktop folder: nothing is made in its place.
    fs::remove(Desktop());
    m_page->Call("CreateNonCloudShortcut_Address_MAC_",
                 {S("RC-100"), S("http://192.0.2.2"), S("m3")});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::set<std::string>{}), FilesUnder(m_root));
    EXPECT_TRUE(m_page->platform.icons.empty());
    std::string prefix = "[CameraWizard] no bookmark " + Desktop().string() + "/Quillmar RC-100(";
    EXPECT_NE(
        std::string::npos,
        err.find(prefix + "m1).webloc: its address has characters other than printable ASCII\n"))
        << err;
    EXPECT_NE(std::string::npos, err.find(prefix + "m2).webloc: its address has characters"))
        << err;
    EXPECT_NE(std::string::npos, err.find(prefix + "m3).webloc: there is no desktop folder\n"))
        << err;
}

TEST_F(BridgeDesktop, OtherServicesGoToThePlatform)
{
    m_page->Call("OpenBrowser_", {S("http://192.0.2.2:8000/")});
    m_page->Call("OpenPDF_", {S("MacHtml/QuickStart.pdf")});
    m_page->Call("ClipboardData_", {S("text \xE2\x80\xA6")});
    m_page->Call("SetWindowSizeWidth_Height_", {N(800), S("600")});
    EXPECT_EQ(std::vector<std::string>{"http://192.0.2.2:8000/"}, m_page->platform.openedURLs);
    EXPECT_EQ(std::vector<std::string>{m_root.string() + "/app/MacHtml/QuickStart.pdf"},
              m_page->platform.openedFiles);
    EXPECT_EQ("text \xE2\x80\xA6", m_page->platform.pasteboard);
    EXPECT_EQ((std::vector<std::pair<int, int>>{{800, 600}}), m_page->platform.webViewSizes);
    EXPECT_TRUE(FilesUnder(m_root).empty());
}
