#pragma once

#include "OllamaResult.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace ostrel {

// What one line of a streamed server reply means. Stateless; any thread.
namespace OllamaStreamLine {

// The line as a JSON object; nullopt for text that is not valid UTF-8 JSON or not an object.
std::optional<QJsonObject> parseObject(QByteArrayView line);

struct Piece
{
    QString text; // the piece of generated text, possibly empty
    bool done;    // the line also says "done": true
};

// A generation line's text "response"; nullopt when it has none.
std::optional<Piece> generatePiece(const QJsonObject& line);
// A chat line's text "message"."content"; nullopt when it has none.
std::optional<Piece> chatPiece(const QJsonObject& line);
// A download line's progress text: "<status>", or "<status> (<percent>%)" when "total" and "completed" are
// both integers and "total" > 0 (percent truncated toward zero). nullopt without a text "status".
std::optional<QString> pullProgress(const QJsonObject& line);
// The server's error report on the line ("error" as text, or any other "error" value as compact JSON);
// nullopt when the line has no "error" key.
std::optional<QString> errorText(const QJsonObject& line);

// The text of a whole (not streamed) reply body with status 200: generation's "response" or chat's
// "message"."content", trimmed. invalidJson (with the parser's message and offset) for a body that is not
// JSON; decodingFailed for JSON that is not an object or lacks the text.
OllamaResult<QString> wholeReplyText(QByteArrayView body, bool chat);

} // namespace OllamaStreamLine

} // namespace ostrel
