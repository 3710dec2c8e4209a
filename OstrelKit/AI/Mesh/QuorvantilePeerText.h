#pragma once

#include "QuorvantileManifest.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <optional>

namespace ostrel {

// The texts the mesh exchanges with peers: the DNS-SD TXT record of a manifest, a peer's TXT name, its model
// server's tag list and the host texts that go into addresses. Everything read here comes from the network
// and is untrusted: it is checked against the caps below and never trusted for length or content. Pure; any
// thread.
namespace QuorvantilePeerText {

// DNS-SD carries each TXT entry ("key=value") in one length byte.
inline constexpr int kMaxTxtEntryBytes = 255;
// A peer's name is shown in one line; longer names are cut.
inline constexpr int kMaxNodeNameChars = 64;
// Caps on a peer's model list (read and capped in bytes by the model client): models kept, characters of one
// model name.
inline constexpr int kMaxModels = 512;
inline constexpr int kMaxModelNameChars = 256;
// An interface name or index after the "%" of a link-local address.
inline constexpr int kMaxZoneChars = 64;

// The eleven TXT entries of a manifest: "id", "nm", "pl", "md", "url", "cpu", "ram", "gpu", "vr", "mt", "ld".
QMap<QString, QString> manifestToTXTDict(const QuorvantileManifest& manifest);

// The record as DNS-SD key/value bytes in UTF-8. An entry ("key=value") over 255 bytes would make the whole
// record unpublishable: "md" is then shortened at a comma (dropping the models that do not fit), any other
// value is cut at a character boundary.
QMap<QByteArray, QByteArray> txtRecord(const QMap<QString, QString>& dict);

// The value of `key` in a peer's TXT record (key compared without letter case, as DNS-SD does), or no value
// when it is missing or not valid UTF-8.
std::optional<QString> txtValue(const QMap<QByteArray, QByteArray>& record, const QString& key);

// A peer's "nm" value fit for display: control characters removed, surrounding blanks trimmed, cut to
// kMaxNodeNameChars. Empty when nothing printable remains.
QString cleanNodeName(const QString& name);

// The model names of a peer's model list fit for its manifest: names that are empty, over kMaxModelNameChars
// or hold control characters are skipped; at most kMaxModels are kept, in order.
QStringList cleanModelNames(const QStringList& names);

// True when `host` can stand in a URL's authority: an IPv4 or IPv6 address literal, a link-local IPv6
// address with a "%" zone of letters, digits, "-", "_" and "." (kMaxZoneChars at most), or a DNS name of
// letters, digits, "-" and "_" in dot-separated labels of 1 to 63 characters, 253 at most in all.
bool isSafeHost(const QString& host);

} // namespace QuorvantilePeerText

} // namespace ostrel
