#pragma once

#include "Expected.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace tovarine {

// The engine's answer to a fit, decoded from its JSON text. Members not listed are ignored here (the
// settings file keeps them).
struct MorvelReply
{
    struct Stats
    {
        double mean = 0; // millimetres
        double p99 = 0;  // millimetres
    };
    struct Deviation
    {
        std::optional<Stats> scanToLimit;
    };
    struct Host
    {
        std::optional<QString> solveIn;
    };
    struct Mesh
    {
        QString positions; // Base64 of float32 x, y, z
        QString triangles; // Base64 of uint32 triples
    };
    struct Cage
    {
        QString positions;                 // Base64 of float32 x, y, z
        QString edges;                     // Base64 of uint32 pairs
        std::vector<double> creaseWeights; // one per edge
    };
    struct Files
    {
        QString threeDm;  // Base64 of the .3dm file
        QString vellacot; // the .vellacot file as text
    };

    bool ok = false;
    std::optional<QString> reason;
    std::optional<std::int64_t> quads;
    std::optional<QString> route;
    std::optional<Deviation> deviation;
    std::optional<Host> host;
    std::optional<Mesh> limit;
    std::optional<Cage> cage;
    std::optional<Files> files;

    // Decodes the reply text. Fails with a sentence naming the fault when the text is not a JSON object,
    // "ok" is missing, or a member has the wrong kind (a string "quads", a "limit" without "triangles",
    // a "quads" with a fraction or out of the integer range). Absent and null optional members are absent.
    static Expected<MorvelReply, QString> decode(const QByteArray& json);

    // The panel's one-line summary: "<quads, grouped for the default locale> quads", the deviation,
    // "%.1f s" below 10 s else "%.0f s" (numbers as C's printf writes them, ties to even), the fallback and
    // worker notes, joined by " · "; a write error appends " · files not saved: <error>". Any thread; pure.
    QString summary(std::int64_t totalMs, const std::optional<QString>& writeError) const;
};

} // namespace tovarine
