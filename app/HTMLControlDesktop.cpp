// The desktop services of the bridge object. None of them reports to the
// page; what goes wrong is a diagnostic line.
#include "HTMLControl.h"

#include "Common.h"
#include "DesktopText.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

using desktoptext::FormatObjects;

namespace {

const char kBookmarkPathFormat[] = "%@/Quillmar %@(%@).webloc";

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Rewrites the file in place, so that an existing bookmark keeps its
// attributes (its icon among them). Returns 0 or the errno of the failure.
int ReplaceFileText(const std::string& path, const std::string& text)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return errno;
    int error = 0;
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size())
        error = errno ? errno : EIO;
    if (std::fclose(file.release()) != 0 && error == 0)
        error = errno ? errno : EIO;
    return error;
}

} // namespace

void HTMLControl::OpenBrowser(const std::string& address)
{
    m_services.workspace->OpenURL(address);
}

void HTMLControl::ClipboardData(const std::string& text)
{
    m_services.workspace->SetPasteboardString(text);
}

void HTMLControl::OpenPDF(const std::string& relativePath)
{
    std::string folder = BundleParentDir();
    if (folder.find('/') == std::string::npos)
        return;
    m_services.workspace->OpenFile(FormatObjects("%@%@", {folder, relativePath}));
}

void HTMLControl::SetWindowSizeWidth(int width, int height)
{
    m_services.app->SetWebViewSize(width, height);
}

void HTMLControl::CreateShortcut(const std::string& name, const std::string& url)
{
    WriteShortcutFile(name, url, desktoptext::CloudID(url));
}

void HTMLControl::CreateNonCloudShortcut(const std::string& name, const std::string& address,
                                         const std::string& mac)
{
    WriteShortcutFile(name, address, mac);
}

void HTMLControl::WriteShortcutFile(const std::string& name, const std::string& address,
                                    const std::string& tag)
{
    // The page's texts may hold "/": they are made one file name, so the
    // bookmark cannot land outside the desktop folder.
    std::string desktop = m_services.workspace->DesktopFolder();
    std::string path = FormatObjects(kBookmarkPathFormat, {desktop, desktoptext::FileNamePart(name),
                                                           desktoptext::FileNamePart(tag)});
    std::string text;
    if (!desktoptext::WeblocText(address, &text)) {
        DiagPrint(kDiagErr,
                  "[CameraWizard] no bookmark %s: its address has characters other than printable "
                  "ASCII\n",
                  path.c_str());
        return;
    }
    if (!IsFolder(desktop)) {
        DiagPrint(kDiagErr, "[CameraWizard] no bookmark %s: there is no desktop folder\n",
                  path.c_str());
        return;
    }
    if (int error = ReplaceFileText(path, text)) {
        DiagPrint(kDiagErr, "[CameraWizard] no bookmark %s: %s\n", path.c_str(),
                  std::strerror(error));
        return;
    }
    // A name that would reach outside the page folder gets no icon.
    std::string icon;
    if (desktoptext::IsPlainName(name))
        icon = FormatObjects("%@%@%@%@", {BundleParentDir(), "MacHtml/", name, ".icns"});
    m_services.workspace->SetIcon(path, icon);
    m_services.workspace->HideExtension(path);
}
