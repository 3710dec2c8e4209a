#pragma once

#include "Expected.h"

#include <QString>

// The per-user folder that holds the intake's and the engine's temporary work: unpacked zips
// (tovarine-drop/<UUID>/), mixed-frame staging (tovarine-recon-<UUID>) and engine work folders
// (tovarine-colmap-<UUID>). It is <tempDir>/tovarine-<uid>, mode 0700 and owned by this user, so no other
// user can plant or read anything in it. Any thread.
namespace tovarine::PrivateTempFolder {

// Creates the folder when missing and checks it: a real folder (not a link) owned by this user; group and
// other access bits are taken away when present. Error: a sentence naming the folder ("… belongs to another
// user", "… could not be created: …").
Expected<QString, QString> ensure(const QString& tempDir);

// The first call for a folder in this process takes a shared lock that lasts for the process's life. When
// no other process holds that lock (no other instance is running), everything an earlier, ended run left in
// the folder is removed first: unpacked zips, staging and work folders of a run that was killed. Returns
// the number of entries removed; 0 when another instance is running or the folder was seen before.
int sweepLeftovers(const QString& privateDir);

} // namespace tovarine::PrivateTempFolder
