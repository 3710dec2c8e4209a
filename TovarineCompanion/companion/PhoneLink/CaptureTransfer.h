#pragma once

#include "Expected.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace tovarine {

// The records exchanged with the phone. Each data message is an envelope {"kind", "payload"} whose payload is
// the padded standard Base64 of the compact UTF-8 JSON of one inner record. Integers are 64-bit signed; a
// record decodes only when every key is present with the right type (extra keys are ignored). Any data
// message that is not a valid envelope is a live preview frame. Pure functions; any thread.

enum class CaptureTransferKind { manifest, ready, progress, result, error };

// The kind's wire string ("manifest", ...), also the word used for it in log lines.
QString kindName(CaptureTransferKind kind);
std::optional<CaptureTransferKind> kindFromName(const QString& name);

// Phone to computer: what a capture will send.
struct CaptureManifest
{
    QString stamp;
    qint64 frameCount = 0;
    QStringList frames; // carried only: received files are counted, not matched against this list
    QString detail;     // "raw", "full", "medium", "reduced", "custom" in any case; anything else is medium
    QDateTime createdAt;
    QString clientVersion;
    bool operator==(const CaptureManifest&) const = default;
};

// Computer to phone: every frame of the stamp is stored and reconstruction starts.
struct CaptureReadyAck
{
    QString stamp;
    qint64 receivedFrames = 0;
    bool operator==(const CaptureReadyAck&) const = default;
};

struct ReconstructionProgress
{
    QString stamp;
    double fraction = 0.0; // 0...1; a non-finite value cannot be encoded
    QString message;
    bool operator==(const ReconstructionProgress&) const = default;
};

// Announces the model file that follows as a resource.
struct ReconstructionResultHeader
{
    QString stamp;
    QString resourceName;
    qint64 byteCount = 0;
    bool operator==(const ReconstructionResultHeader&) const = default;
};

struct ReconstructionErrorMessage
{
    QString stamp;
    QString message;
    bool operator==(const ReconstructionErrorMessage&) const = default;
};

struct CaptureTransferEnvelope
{
    CaptureTransferKind kind = CaptureTransferKind::manifest;
    QByteArray payload; // the inner record's JSON bytes

    // Wraps a record: its compact JSON becomes the payload. Fails (with the reason) when the record cannot be
    // encoded, which is the case for a non-finite number.
    static Expected<CaptureTransferEnvelope, QString> make(CaptureTransferKind kind,
                                                           const CaptureManifest& r);
    static Expected<CaptureTransferEnvelope, QString> make(CaptureTransferKind kind,
                                                           const CaptureReadyAck& r);
    static Expected<CaptureTransferEnvelope, QString> make(CaptureTransferKind kind,
                                                           const ReconstructionProgress& r);
    static Expected<CaptureTransferEnvelope, QString> make(CaptureTransferKind kind,
                                                           const ReconstructionResultHeader& r);
    static Expected<CaptureTransferEnvelope, QString> make(CaptureTransferKind kind,
                                                           const ReconstructionErrorMessage& r);

    // The envelope's compact JSON, the bytes of one data message.
    QByteArray encode() const;
    // Nothing when `data` is not an envelope (not JSON, a missing or mistyped key, an unknown kind, a payload
    // that is not padded standard Base64): such data is a preview frame.
    static std::optional<CaptureTransferEnvelope> decode(const QByteArray& data);
};

// Inner record decoders: nothing unless the payload is a JSON object with every key of the right type.
// A manifest's frame names are checked (a list of texts) either way; `keepFrameNames` false leaves
// CaptureManifest::frames empty, for a receiver that never reads them: a long list then costs nothing once
// the message is decoded.
std::optional<CaptureManifest> decodeManifest(const QByteArray& payload, bool keepFrameNames = true);
std::optional<CaptureReadyAck> decodeReadyAck(const QByteArray& payload);
std::optional<ReconstructionProgress> decodeProgress(const QByteArray& payload);
std::optional<ReconstructionResultHeader> decodeResultHeader(const QByteArray& payload);
std::optional<ReconstructionErrorMessage> decodeErrorMessage(const QByteArray& payload);

// A resource name split into kind/stamp/filename: at most two splits at "/", empty pieces skipped and not
// counted; the filename is the rest of the name unchanged (it may hold "/"). Nothing unless exactly three
// pieces result.
struct ResourceName
{
    QString kind;
    QString stamp;
    QString filename;
    bool operator==(const ResourceName&) const = default;
};
std::optional<ResourceName> parseResourceName(const QString& name);

// "capture/<stamp>/<filename>" and "result/<stamp>/model.usdz".
QString captureResourceName(const QString& stamp, const QString& filename);
QString resultResourceName(const QString& stamp);

// Bytes of one file or folder name on the file systems the inbox lives on.
inline constexpr qsizetype kMaxFileNameBytes = 255;

// Whether a stamp or file name from the peer can be used as one folder or file name: not empty, not "." or
// "..", no "/", "\", NUL or other control character, at most kMaxFileNameBytes bytes in UTF-8.
bool isSafePathComponent(const QString& name);

} // namespace tovarine
