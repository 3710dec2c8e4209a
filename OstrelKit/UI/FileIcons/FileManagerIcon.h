#pragma once

#include <QString>
#include <optional>

// The custom icon GNOME's Files and the other GVfs-based file managers show for a file or folder: the file's
// GIO attribute metadata::custom-icon, which GVfs's metadata daemon stores per user (reached over the
// session bus). Any thread; blocks until the session bus answers.
namespace ostrel::FileManagerIcon {

inline constexpr char kAttribute[] = "metadata::custom-icon";

// Sets `path`'s custom icon to the image file `iconPath` (stored as its file:// URI). Returns why it was not
// set: typically no GVfs on this system or no metadata daemon on the session bus, which GIO reports as
// "not supported".
std::optional<QString> setCustomIcon(const QString& path, const QString& iconPath);

} // namespace ostrel::FileManagerIcon
