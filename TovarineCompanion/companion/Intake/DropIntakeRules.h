#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The rules of the drop intake that read the file system: where the frames are, what the result folder is
// called, and which capture files are carried into it. Plain functions; any thread (they share no state).
namespace tovarine::DropIntakeRules {

// True when `folderPath` can be listed and holds at least one entry whose extension, in any letter case, is
// jpg, jpeg or heic; false when it cannot be listed or is a symbolic link.
bool hasJPEGs(const QString& folderPath);

// The frames folder of a drop, first hit wins: the root itself when it is named exactly "Images" and holds
// frames; root/Images when it holds frames; else, in listing order, child/Images of the first child folder
// whose Images holds a frame. Never deeper, and never through a symbolic link (an Images or child folder that
// is a link is passed over). Empty when nothing matched or the root cannot be listed.
QString findImagesDir(const QString& rootPath);

// The result folder name for a drop root and whether it was generated (a Wordbank name) rather than taken
// from the drop. Base: the root's last path component without its leading dots and its extension, so the
// name is always one safe path component (see isSafeComponent). Empty base: a Wordbank name of
// `nowSeconds`; an identifier-like base: the Wordbank name of its seed; otherwise the base, cut to its first
// 60 user-perceived characters and, on a character boundary, to at most 255 bytes of UTF-8 (the file-name
// limit).
struct OutputName
{
    QString name;
    bool generated = false;
};
OutputName outputName(const QString& rootPath, qint64 nowSeconds);

// True when `name` names exactly one entry inside its folder and nothing hidden: not empty, no leading dot
// (so neither "." nor ".."), no "/" and no NUL.
bool isSafeComponent(const QString& name);
QString cleanOutputName(const QString& rootPath, qint64 nowSeconds);

// `text` cut to at most `maxCharacters` user-perceived characters and `maxUtf8Bytes` bytes of UTF-8, never
// inside a character.
QString truncatedName(const QString& text, int maxCharacters, int maxUtf8Bytes);

// The result folder for `name` inside `tovarineDir`, for the capture whose frames folder is `framesDir`. A
// free name is used as it is. A taken name taken from the drop is reused only for the same capture
// (holdsSameCapture) or when the folder is empty; otherwise, and for a generated name always, "-2", "-3", ...
// is added, so an earlier result is never overwritten by another capture. The suffix never pushes the name
// past the file-name limit: the base is cut first.
QString resultFolderPath(const QString& tovarineDir, const OutputName& name, const QString& framesDir);

// True when `resultDir` holds the capture whose frames folder is `framesDir`: the frames folder is the result
// folder's own Images/ (a result folder dropped again), or that Images/ holds exactly the same frames (jpg,
// jpeg or heic files, by name and size). False when either folder cannot be listed.
bool holdsSameCapture(const QString& resultDir, const QString& framesDir);

// True when both paths name the same existing folder (compared as canonical paths, so any spelling of a path
// or a symbolic link to it counts as the same).
bool isSameFolder(const QString& a, const QString& b);

// Gives the file at `path` the mode a newly made file gets (0666 less the process's umask), whatever mode the
// file it was copied from had: files copied into the result folder (frames, label, phone settings) look like
// the files the app writes there, also when they come from a zip unpacked into the private folder. Returns
// false when the mode cannot be set.
bool giveNewFileMode(const QString& path);

// Copies captureDir/label.txt over resultDir/label.txt (see giveNewFileMode) when the capture has one; an
// older label stays otherwise; a label.txt that is a symbolic link is not followed. Failures are ignored.
// Does nothing when the capture folder is the result folder.
void copyLabel(const QString& captureDir, const QString& resultDir);

// Replaces resultDir/phone_morvel_settings.json with the capture's phone settings, or removes it when the
// capture has none. The phone settings are captureDir/model_morvel_settings.json, except in a capture that is
// itself a result folder (its canonical path directly inside `tovarineDir`), where that file is cage output
// and the phone's copy is its phone_morvel_settings.json; a symbolic link is not followed (the old copy is
// removed all the same). Failures are ignored. Does nothing when the capture
// folder is the result folder.
void copyPhoneMorvelSettings(const QString& captureDir, const QString& resultDir, const QString& tovarineDir);

} // namespace tovarine::DropIntakeRules
