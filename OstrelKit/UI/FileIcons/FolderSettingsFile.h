#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// KDE's per-folder settings file: `.directory` inside a folder, in desktop-entry syntax (groups in brackets,
// "key=value" lines with backslash escapes). Its file managers show the `Icon` key of the [Desktop Entry]
// group as the folder's icon. Any thread; no state.
namespace ostrel::FolderSettingsFile {

inline const QString kFileName = QStringLiteral(".directory");
// A settings file larger than this is not one this code wrote or a file manager would: it is left alone.
constexpr qsizetype kMaxBytes = 1024 * 1024;

// `text` (the file's bytes, any content) with the [Desktop Entry] group's Icon key set to `icon`, escaped as
// the format wants (backslash, control characters, spaces at either end). Every other line is kept byte for
// byte: other keys, other groups, comments, localised keys such as Icon[de]. The first Icon line of the
// group is replaced in place and any later one (in a repeated [Desktop Entry] group too) dropped; without
// one the key goes right after the first [Desktop Entry] header, and without that group the group is added
// at the end.
QByteArray withIcon(const QByteArray& text, const QString& icon);

// The [Desktop Entry] group's Icon key in `text`, unescaped (the last one when repeated, as the file
// managers read it); absent when there is none.
std::optional<QString> icon(const QByteArray& text);

// Sets the Icon key of `folder`'s settings file to `icon` (the file is made when missing), keeping the rest
// of the file; the file is written whole or not at all. Returns why it was not set (the file could not be
// read, is larger than kMaxBytes, or could not be written); the file is then unchanged.
std::optional<QString> setIcon(const QString& folder, const QString& icon);

} // namespace ostrel::FolderSettingsFile
