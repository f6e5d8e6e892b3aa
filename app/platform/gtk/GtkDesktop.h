#ifndef RILO_APP_GTKDESKTOP_H
#define RILO_APP_GTKDESKTOP_H

// The desktop services the application process carries out for the page:
// opening through GIO's default handlers, a file's custom icon, and the
// clipboard.

namespace platform {

// Hands uri to the desktop's default handler and returns at once; an
// address that does not parse, or one no handler takes, opens nothing and
// is reported by a diagnostic line.
void OpenWithDefaultHandler(const char* uri);
// The same for a local file.
void OpenFileWithDefaultHandler(const char* path);

// Sets the file's custom icon where the desktop keeps one (GIO's
// metadata::custom-icon); an empty or missing icon file removes it.
void SetCustomIcon(const char* file, const char* iconFile);

// Puts text on the clipboard.
void SetClipboardText(const char* text);
// Hands the clipboard's text to the desktop's clipboard manager, where one
// runs, so that it outlives the program.
void StoreClipboard();

} // namespace platform

#endif
