#include "UsdaParser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tovarine::UsdaParser {

namespace {

using UsdaTransform::Matrix;

// Prims nest deeper than this only in hostile input; stopping keeps the recursion off the stack's end.
constexpr int kMaxPrimDepth = 256;

bool isIdentifierChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':' ||
           c == '.' || c == '[' || c == ']';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

class Parser
{
public:
    explicit Parser(std::string_view text) : m_text(text), m_p(text.data()), m_end(text.data() + text.size()) {}

    bool parseLayer(Prim& root)
    {
        skipSpace();
        if (m_p < m_end && *m_p == '(') {
            if (!parseMetadata(true)) {
                return false;
            }
        }
        while (true) {
            skipSpace();
            if (m_p >= m_end) {
                return true;
            }
            if (!parseStatement(root, 0)) {
                return false;
            }
        }
    }

    QString error() const
    {
        const auto line = 1 + std::count(m_text.data(), std::min(m_errorAt, m_end), '\n');
        return QStringLiteral("The model file's layer is malformed near line %1: %2.").arg(line).arg(m_error);
    }

    double metersPerUnit() const { return m_metersPerUnit; }
    const std::string& textureAsset() const { return m_textureAsset; }

    // An asset path (@path@), kept in `out` when given.
    bool assetPath(std::string* out)
    {
        skipSpace();
        if (m_p >= m_end || *m_p != '@') {
            return skipValue();
        }
        const char* start = m_p + 1;
        if (!skipValue()) {
            return false;
        }
        if (out) {
            out->assign(start, std::size_t(m_p - 1 - start));
        }
        return true;
    }
    bool zUp() const { return m_zUp; }

private:
    bool fail(const QString& what)
    {
        if (m_error.isEmpty()) {
            m_error = what;
            m_errorAt = m_p;
        }
        return false;
    }

    void skipSpace()
    {
        while (m_p < m_end) {
            const char c = *m_p;
            if (isSpace(c)) {
                ++m_p;
            } else if (c == '#') {
                const void* eol = std::memchr(m_p, '\n', std::size_t(m_end - m_p));
                m_p = eol ? static_cast<const char*>(eol) + 1 : m_end;
            } else {
                return;
            }
        }
    }

    bool expect(char c)
    {
        skipSpace();
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return fail(QStringLiteral("expected '%1'").arg(QLatin1Char(c)));
    }

    bool peekIs(char c)
    {
        skipSpace();
        return m_p < m_end && *m_p == c;
    }

    std::string_view identifier()
    {
        skipSpace();
        const char* start = m_p;
        while (m_p < m_end && isIdentifierChar(*m_p)) {
            ++m_p;
        }
        return {start, std::size_t(m_p - start)};
    }

    bool string(std::string* out)
    {
        skipSpace();
        if (m_p >= m_end || (*m_p != '"' && *m_p != '\'')) {
            return fail(QStringLiteral("expected a string"));
        }
        const char quote = *m_p;
        const bool triple = m_end - m_p >= 3 && m_p[1] == quote && m_p[2] == quote;
        m_p += triple ? 3 : 1;
        while (m_p < m_end) {
            const char c = *m_p;
            if (c == '\\' && m_p + 1 < m_end) {
                if (out) {
                    out->push_back(m_p[1]);
                }
                m_p += 2;
                continue;
            }
            if (c == quote && (!triple || (m_end - m_p >= 3 && m_p[1] == quote && m_p[2] == quote))) {
                m_p += triple ? 3 : 1;
                return true;
            }
            if (c == '\n' && !triple) {
                break;
            }
            if (out) {
                out->push_back(c);
            }
            ++m_p;
        }
        return fail(QStringLiteral("unterminated string"));
    }

    // Skips one value of any kind: a bracketed group, a string, an asset path, a prim path or a bare word.
    bool skipValue()
    {
        skipSpace();
        if (m_p >= m_end) {
            return fail(QStringLiteral("missing value"));
        }
        const char c = *m_p;
        if (c == '(' || c == '[' || c == '{') {
            return skipGroup();
        }
        if (c == '"' || c == '\'') {
            return string(nullptr);
        }
        if (c == '@' || c == '<') {
            const char close = c == '@' ? '@' : '>';
            const void* found = std::memchr(m_p + 1, close, std::size_t(m_end - m_p - 1));
            if (!found) {
                return fail(QStringLiteral("unterminated path"));
            }
            m_p = static_cast<const char*>(found) + 1;
            return true;
        }
        const char* start = m_p;
        while (m_p < m_end && (isIdentifierChar(*m_p) || *m_p == '-' || *m_p == '+')) {
            ++m_p;
        }
        return m_p > start || fail(QStringLiteral("unexpected character"));
    }

    bool skipGroup()
    {
        int depth = 0;
        while (m_p < m_end) {
            const char c = *m_p;
            if (c == '(' || c == '[' || c == '{') {
                ++depth;
                ++m_p;
            } else if (c == ')' || c == ']' || c == '}') {
                ++m_p;
                if (--depth == 0) {
                    return true;
                }
            } else if (c == '"' || c == '\'') {
                if (!string(nullptr)) {
                    return false;
                }
            } else if (c == '#') {
                skipSpace();
            } else if (c == '@' || c == '<') {
                if (!skipValue()) {
                    return false;
                }
            } else {
                ++m_p;
            }
        }
        return fail(QStringLiteral("unterminated group"));
    }

    // Metadata in parentheses: `key = value` entries, a bare doc string, list-edit prefixes. Only the layer's
    // metersPerUnit and upAxis are kept; `interpolation` is returned through `interpolation` when asked.
    bool parseMetadata(bool layerLevel, std::string* interpolation = nullptr)
    {
        if (!expect('(')) {
            return false;
        }
        while (true) {
            skipSpace();
            if (m_p >= m_end) {
                return fail(QStringLiteral("unterminated metadata"));
            }
            if (*m_p == ')') {
                ++m_p;
                return true;
            }
            if (*m_p == ';') {
                ++m_p;
                continue;
            }
            if (*m_p == '"' || *m_p == '\'') {
                if (!string(nullptr)) {
                    return false;
                }
                continue;
            }
            std::string_view key = identifier();
            if (key == "prepend" || key == "append" || key == "add" || key == "delete" || key == "reorder") {
                key = identifier();
            }
            if (key.empty()) {
                return fail(QStringLiteral("unexpected character in metadata"));
            }
            if (!peekIs('=')) {
                continue;
            }
            ++m_p;
            if (layerLevel && key == "metersPerUnit") {
                double value = 0;
                if (!number(value)) {
                    return false;
                }
                if (!(value > 0) || !std::isfinite(value)) {
                    return fail(QStringLiteral("metersPerUnit must be a positive number"));
                }
                m_metersPerUnit = value;
            } else if (layerLevel && key == "upAxis") {
                std::string axis;
                if (!string(&axis)) {
                    return false;
                }
                m_zUp = axis == "Z";
            } else if (interpolation && key == "interpolation") {
                if (!string(interpolation)) {
                    return false;
                }
            } else if (!skipValue()) {
                return false;
            }
        }
    }

    bool parseStatement(Prim& parent, int depth)
    {
        skipSpace();
        if (*m_p == ';') {
            ++m_p;
            return true;
        }
        const std::string_view word = identifier();
        if (word.empty()) {
            return fail(QStringLiteral("unexpected character"));
        }
        if (word == "def" || word == "over" || word == "class") {
            return parsePrim(parent, word == "def", depth);
        }
        if (word == "variantSet") {
            return string(nullptr) && expect('=') && skipValue();
        }
        return parseProperty(parent, word);
    }

    bool parsePrim(Prim& parent, bool defined, int depth)
    {
        if (depth >= kMaxPrimDepth) {
            return fail(QStringLiteral("prims nested too deeply"));
        }
        skipSpace();
        std::string_view typeName;
        if (m_p < m_end && *m_p != '"' && *m_p != '\'') {
            typeName = identifier();
        }
        if (!string(nullptr)) {
            return false;
        }
        if (peekIs('(') && !parseMetadata(false)) {
            return false;
        }
        if (!defined) {
            skipSpace();
            return (m_p < m_end && *m_p == '{' && skipGroup()) || fail(QStringLiteral("expected '{'"));
        }
        if (!expect('{')) {
            return false;
        }
        auto prim = std::make_unique<Prim>();
        prim->isMesh = typeName == "Mesh";
        while (true) {
            skipSpace();
            if (m_p >= m_end) {
                return fail(QStringLiteral("expected '}'"));
            }
            if (*m_p == '}') {
                ++m_p;
                break;
            }
            if (!parseStatement(*prim, depth + 1)) {
                return false;
            }
        }
        parent.children.push_back(std::move(prim));
        return true;
    }

    bool parseProperty(Prim& prim, std::string_view word)
    {
        while (word == "custom" || word == "uniform" || word == "varying" || word == "config" || word == "prepend" ||
               word == "append" || word == "add" || word == "delete" || word == "reorder") {
            word = identifier();
        }
        std::string_view name = word;
        skipSpace();
        if (m_p < m_end && isIdentifierChar(*m_p)) {
            name = identifier();
        }
        if (name.empty()) {
            return fail(QStringLiteral("expected a property name"));
        }
        const std::string_view type = name == word ? std::string_view() : word;
        std::string interpolation;
        bool parsed = true;
        if (peekIs('=')) {
            ++m_p;
            parsed = parseValue(prim, type, name);
        }
        if (!parsed) {
            return false;
        }
        if (peekIs('(') && !parseMetadata(false, &interpolation)) {
            return false;
        }
        if (prim.isMesh && (name == "primvars:displayColor") && interpolation == "constant" &&
            prim.mesh.colors.size() > 3) {
            prim.mesh.colors.resize(3);
        }
        return true;
    }

    bool isNone()
    {
        skipSpace();
        if (m_end - m_p >= 4 && std::memcmp(m_p, "None", 4) == 0) {
            m_p += 4;
            return true;
        }
        return false;
    }

    bool parseValue(Prim& prim, std::string_view type, std::string_view name)
    {
        if (isNone()) {
            return true;
        }
        if (prim.isMesh) {
            MeshData& mesh = prim.mesh;
            if (name == "points") {
                return floatTriples(mesh.points);
            }
            if (name == "normals" || name == "primvars:normals") {
                return floatTriples(mesh.normals);
            }
            if (name == "primvars:displayColor") {
                return floatTriples(mesh.colors);
            }
            if (name == "primvars:st") {
                return floatTuples(mesh.texcoords, 2);
            }
            if (name == "faceVertexCounts") {
                return intArray(mesh.faceVertexCounts);
            }
            if (name == "faceVertexIndices") {
                return intArray(mesh.faceVertexIndices);
            }
            if (name == "orientation") {
                std::string value;
                if (!string(&value)) {
                    return false;
                }
                mesh.leftHanded = value == "leftHanded";
                return true;
            }
        }
        if (name == "xformOpOrder") {
            return stringArray(prim.xformOpOrder);
        }
        if (name == "inputs:file" && type == "asset") {
            return assetPath(m_textureAsset.empty() ? &m_textureAsset : nullptr);
        }
        if (name.starts_with("xformOp:") && name.find('.') == std::string_view::npos) {
            return parseXformOp(prim, type, name);
        }
        return skipValue();
    }

    bool parseXformOp(Prim& prim, std::string_view type, std::string_view name)
    {
        std::string_view op = name.substr(8);
        op = op.substr(0, op.find(':'));
        Matrix m = UsdaTransform::identity();
        if (op == "transform") {
            if (!expect('(')) {
                return false;
            }
            for (int r = 0; r < 4; ++r) {
                if ((r > 0 && !expect(',')) || !tuple(m[r].data(), 4)) {
                    return false;
                }
            }
            if (!expect(')')) {
                return false;
            }
        } else if (op == "translate" || op == "scale") {
            double v[3];
            if (!tuple(v, 3)) {
                return false;
            }
            m = op == "translate" ? UsdaTransform::translation(v[0], v[1], v[2])
                                  : UsdaTransform::scaling(v[0], v[1], v[2]);
        } else if (op == "rotateX" || op == "rotateY" || op == "rotateZ") {
            double degrees = 0;
            if (!number(degrees)) {
                return false;
            }
            m = UsdaTransform::rotation(op[6] - 'X', degrees);
        } else if (op.size() == 9 && op.starts_with("rotate")) {
            // rotateXYZ and its orders: the first letter's turn applies first.
            double degrees[3];
            if (!tuple(degrees, 3)) {
                return false;
            }
            for (int i = 0; i < 3; ++i) {
                const int axis = op[6 + i] - 'X';
                if (axis < 0 || axis > 2) {
                    return fail(QStringLiteral("unknown transform op"));
                }
                m = UsdaTransform::multiply(m, UsdaTransform::rotation(axis, degrees[axis]));
            }
        } else if (op == "orient") {
            double q[4];
            if (!tuple(q, 4)) {
                return false;
            }
            m = UsdaTransform::orientation(q[0], q[1], q[2], q[3]);
        } else {
            if (prim.unsupportedOp.empty()) {
                prim.unsupportedOp = std::string(name);
            }
            return skipValue();
        }
        (void)type;
        prim.xformOps[std::string(name)] = m;
        return true;
    }

    bool number(double& out)
    {
        skipSpace();
        const char* p = m_p;
        if (p < m_end && *p == '+') {
            ++p;
        }
        const auto [ptr, ec] = std::from_chars(p, m_end, out);
        if (ec != std::errc()) {
            return fail(QStringLiteral("expected a number"));
        }
        m_p = ptr;
        return true;
    }

    bool tuple(double* out, int count)
    {
        if (!expect('(')) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            if ((i > 0 && !expect(',')) || !number(out[i])) {
                return false;
            }
        }
        return expect(')');
    }

    // The hot path of large layers: `[(x, y, z), (x, y, z), ...]` read straight from the text.
    bool floatTriples(std::vector<float>& out) { return floatTuples(out, 3); }

    bool floatTuples(std::vector<float>& out, int arity)
    {
        out.clear();
        if (!expect('[')) {
            return false;
        }
        // Each tuple takes at least "(0,0)" per two values of the remaining text, which bounds the reservation.
        const void* close = std::memchr(m_p, ']', std::size_t(m_end - m_p));
        if (!close) {
            return fail(QStringLiteral("unterminated array"));
        }
        out.reserve(std::size_t(arity) * std::size_t((static_cast<const char*>(close) - m_p) / (2 * arity + 1) + 1));
        skipSpace();
        if (m_p < m_end && *m_p == ']') {
            ++m_p;
            return true;
        }
        while (true) {
            if (!expect('(')) {
                return false;
            }
            for (int i = 0; i < arity; ++i) {
                if (i > 0 && !expect(',')) {
                    return false;
                }
                skipSpace();
                const char* p = m_p;
                if (p < m_end && *p == '+') {
                    ++p;
                }
                float v = 0;
                std::from_chars_result parsed = std::from_chars(p, m_end, v);
                if (parsed.ec == std::errc::result_out_of_range) {
                    // Beyond float's range: round as a float cast does (to zero or infinity), like other readers.
                    double wide = 0;
                    parsed = std::from_chars(p, m_end, wide);
                    v = float(wide);
                }
                const auto [ptr, ec] = parsed;
                if (ec == std::errc::result_out_of_range) {
                    return fail(QStringLiteral("number out of range"));
                }
                if (ec != std::errc()) {
                    return fail(QStringLiteral("expected a number"));
                }
                m_p = ptr;
                out.push_back(v);
            }
            if (!expect(')')) {
                return false;
            }
            skipSpace();
            if (m_p < m_end && *m_p == ',') {
                ++m_p;
                skipSpace();
            }
            if (m_p < m_end && *m_p == ']') {
                ++m_p;
                return true;
            }
            if (m_p >= m_end) {
                return fail(QStringLiteral("unterminated array"));
            }
        }
    }

    bool intArray(std::vector<std::int32_t>& out)
    {
        out.clear();
        if (!expect('[')) {
            return false;
        }
        const void* close = std::memchr(m_p, ']', std::size_t(m_end - m_p));
        if (!close) {
            return fail(QStringLiteral("unterminated array"));
        }
        out.reserve(std::size_t((static_cast<const char*>(close) - m_p) / 2 + 1));
        skipSpace();
        if (m_p < m_end && *m_p == ']') {
            ++m_p;
            return true;
        }
        while (true) {
            skipSpace();
            std::int32_t v = 0;
            const auto [ptr, ec] = std::from_chars(m_p, m_end, v);
            if (ec == std::errc::result_out_of_range) {
                return fail(QStringLiteral("integer out of range"));
            }
            if (ec != std::errc()) {
                return fail(QStringLiteral("expected an integer"));
            }
            m_p = ptr;
            out.push_back(v);
            skipSpace();
            if (m_p < m_end && *m_p == ',') {
                ++m_p;
                skipSpace();
            }
            if (m_p < m_end && *m_p == ']') {
                ++m_p;
                return true;
            }
            if (m_p >= m_end) {
                return fail(QStringLiteral("unterminated array"));
            }
        }
    }

    bool stringArray(std::vector<std::string>& out)
    {
        out.clear();
        if (!expect('[')) {
            return false;
        }
        while (true) {
            skipSpace();
            if (m_p >= m_end) {
                return fail(QStringLiteral("unterminated array"));
            }
            if (*m_p == ']') {
                ++m_p;
                return true;
            }
            if (*m_p == ',') {
                ++m_p;
                continue;
            }
            std::string value;
            if (!string(&value)) {
                return false;
            }
            out.push_back(std::move(value));
        }
    }

    std::string_view m_text;
    const char* m_p;
    const char* m_end;
    QString m_error;
    const char* m_errorAt = nullptr;
    double m_metersPerUnit = 1.0;
    bool m_zUp = false;
    std::string m_textureAsset;
};

} // namespace

Expected<Layer, QString> parse(std::string_view text)
{
    Parser parser(text);
    Layer layer;
    if (!parser.parseLayer(layer.root)) {
        return unexpected(parser.error());
    }
    layer.metersPerUnit = parser.metersPerUnit();
    layer.zUp = parser.zUp();
    layer.textureAsset = parser.textureAsset();
    return layer;
}

} // namespace tovarine::UsdaParser
