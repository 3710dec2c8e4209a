#include "UsdaWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace tovarine::UsdaWriter {

namespace {

// Longest shortest-round-trip float32 text ("-1.17549435e-38") plus slack.
constexpr std::size_t kMaxFloatChars = 16;
constexpr std::size_t kMaxIndexChars = 10;

// Appends into a buffer sized up front, so the large arrays are written without reallocation.
class TextBuffer
{
public:
    explicit TextBuffer(std::size_t capacity) { m_text.resize(capacity); }

    void reserveMore(std::size_t bytes)
    {
        if (m_size + bytes > m_text.size()) {
            m_text.resize(std::max(m_text.size() * 2, m_size + bytes));
        }
    }
    void append(std::string_view s)
    {
        reserveMore(s.size());
        std::memcpy(m_text.data() + m_size, s.data(), s.size());
        m_size += s.size();
    }
    // Callers reserve room first (reserveMore) for the unchecked appends below.
    void put(char c) { m_text[m_size++] = c; }
    void put(float v)
    {
        if (!std::isfinite(v)) {
            const std::string_view s = std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
            std::memcpy(m_text.data() + m_size, s.data(), s.size());
            m_size += s.size();
            return;
        }
        char* begin = m_text.data() + m_size;
        m_size = std::size_t(std::to_chars(begin, begin + kMaxFloatChars, v).ptr - m_text.data());
    }
    void put(std::uint32_t v)
    {
        char* begin = m_text.data() + m_size;
        m_size = std::size_t(std::to_chars(begin, begin + kMaxIndexChars, v).ptr - m_text.data());
    }
    std::string take()
    {
        m_text.resize(m_size);
        return std::move(m_text);
    }

private:
    std::string m_text;
    std::size_t m_size = 0;
};

void writeTuples(TextBuffer& out, const std::vector<float>& values, std::size_t count, std::size_t arity)
{
    out.reserveMore(count * (arity * kMaxFloatChars + 8) + 4);
    out.put('[');
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            out.put(',');
            out.put(' ');
        }
        out.put('(');
        for (std::size_t c = 0; c < arity; ++c) {
            if (c > 0) {
                out.put(',');
                out.put(' ');
            }
            out.put(values[arity * i + c]);
        }
        out.put(')');
    }
    out.put(']');
}

void writeTriples(TextBuffer& out, const std::vector<float>& values, std::size_t count)
{
    writeTuples(out, values, count, 3);
}

} // namespace

std::string write(const ModelMesh& mesh)
{
    const std::size_t vertexCount = mesh.vertexCount();
    const std::size_t triangleCount = mesh.triangleCount();
    const bool hasNormals = !mesh.normals.empty() && mesh.normals.size() == vertexCount * 3;
    const bool hasColors = !mesh.colors.empty() && mesh.colors.size() == vertexCount * 3;

    const bool hasTexture = mesh.hasTexture() && !mesh.textureName.empty();
    const std::size_t floatArrays = 1 + (hasNormals ? 1 : 0) + (hasColors ? 1 : 0) + (hasTexture ? 1 : 0);
    TextBuffer out(4096 + floatArrays * vertexCount * (3 * kMaxFloatChars + 8) +
                   triangleCount * (3 * (kMaxIndexChars + 2) + 3));

    float lo[3] = {0, 0, 0};
    float hi[3] = {0, 0, 0};
    if (vertexCount > 0) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::numeric_limits<float>::infinity();
            hi[a] = -std::numeric_limits<float>::infinity();
        }
        for (std::size_t i = 0; i < vertexCount; ++i) {
            for (int a = 0; a < 3; ++a) {
                const float v = mesh.positions[3 * i + a];
                lo[a] = std::min(lo[a], v);
                hi[a] = std::max(hi[a], v);
            }
        }
    }

    out.append("#usda 1.0\n"
               "(\n"
               "    defaultPrim = \"model\"\n"
               "    metersPerUnit = 1\n"
               "    upAxis = \"Y\"\n"
               ")\n"
               "\n"
               "def Xform \"model\" (\n"
               "    kind = \"component\"\n"
               ")\n"
               "{\n"
               "    matrix4d xformOp:transform = ( (1, 0, 0, 0), (0, 1, 0, 0), (0, 0, 1, 0), (0, 0, 0, 1) )\n"
               "    uniform token[] xformOpOrder = [\"xformOp:transform\"]\n"
               "\n"
               "    def Mesh \"mesh\" (\n"
               "        prepend apiSchemas = [\"MaterialBindingAPI\"]\n"
               "    )\n"
               "    {\n"
               "        float3[] extent = ");
    out.reserveMore(8 * kMaxFloatChars + 16);
    out.put('[');
    out.put('(');
    for (int a = 0; a < 3; ++a) {
        if (a > 0) {
            out.put(',');
            out.put(' ');
        }
        out.put(lo[a]);
    }
    out.append("), (");
    out.reserveMore(4 * kMaxFloatChars);
    for (int a = 0; a < 3; ++a) {
        if (a > 0) {
            out.put(',');
            out.put(' ');
        }
        out.put(hi[a]);
    }
    out.append(")]\n"
               "        int[] faceVertexCounts = [");
    out.reserveMore(triangleCount * 3 + 2);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        if (t > 0) {
            out.put(',');
            out.put(' ');
        }
        out.put('3');
    }
    out.append("]\n"
               "        int[] faceVertexIndices = [");
    out.reserveMore(mesh.indices.size() * (kMaxIndexChars + 2) + 2);
    for (std::size_t i = 0; i < triangleCount * 3; ++i) {
        if (i > 0) {
            out.put(',');
            out.put(' ');
        }
        out.put(mesh.indices[i]);
    }
    out.append("]\n"
               "        rel material:binding = </model/Materials/surface>\n");
    if (hasNormals) {
        out.append("        normal3f[] normals = ");
        writeTriples(out, mesh.normals, vertexCount);
        out.append(" (\n"
                   "            interpolation = \"vertex\"\n"
                   "        )\n");
    }
    out.append("        point3f[] points = ");
    writeTriples(out, mesh.positions, vertexCount);
    out.append("\n");
    if (hasColors) {
        out.append("        color3f[] primvars:displayColor = ");
        writeTriples(out, mesh.colors, vertexCount);
        out.append(" (\n"
                   "            interpolation = \"vertex\"\n"
                   "        )\n");
    }
    if (hasTexture) {
        out.append("        texCoord2f[] primvars:st = ");
        writeTuples(out, mesh.texcoords, vertexCount, 2);
        out.append(" (\n"
                   "            interpolation = \"vertex\"\n"
                   "        )\n");
    }
    out.append("        uniform token subdivisionScheme = \"none\"\n"
               "    }\n"
               "\n"
               "    def Scope \"Materials\"\n"
               "    {\n"
               "        def Material \"surface\"\n"
               "        {\n"
               "            token outputs:surface.connect = </model/Materials/surface/previewSurface.outputs:surface>\n"
               "\n"
               "            def Shader \"previewSurface\"\n"
               "            {\n"
               "                uniform token info:id = \"UsdPreviewSurface\"\n");
    if (hasTexture) {
        // The diffuse colour reads the texture at the mesh's st coordinates; the display colours stay on the
        // mesh for readers that draw those.
        out.append("                color3f inputs:diffuseColor.connect = "
                   "</model/Materials/surface/diffuseTexture.outputs:rgb>\n");
    } else {
        out.append("                color3f inputs:diffuseColor.connect = "
                   "</model/Materials/surface/displayColorReader.outputs:result>\n");
    }
    out.append("                float inputs:metallic = 0\n"
               "                float inputs:roughness = 0.6\n"
               "                token outputs:surface\n"
               "            }\n"
               "\n");
    if (hasTexture) {
        out.append("            def Shader \"diffuseTexture\"\n"
                   "            {\n"
                   "                uniform token info:id = \"UsdUVTexture\"\n"
                   "                asset inputs:file = @");
        out.append(mesh.textureName);
        out.append("@\n"
                   "                float2 inputs:st.connect = </model/Materials/surface/stReader.outputs:result>\n"
                   "                token inputs:sourceColorSpace = \"sRGB\"\n"
                   "                token inputs:wrapS = \"clamp\"\n"
                   "                token inputs:wrapT = \"clamp\"\n"
                   "                float3 outputs:rgb\n"
                   "            }\n"
                   "\n"
                   "            def Shader \"stReader\"\n"
                   "            {\n"
                   "                uniform token info:id = \"UsdPrimvarReader_float2\"\n"
                   "                string inputs:varname = \"st\"\n"
                   "                float2 outputs:result\n"
                   "            }\n"
                   "        }\n"
                   "    }\n"
                   "}\n");
        return out.take();
    }
    out.append("            def Shader \"displayColorReader\"\n"
               "            {\n"
               "                uniform token info:id = \"UsdPrimvarReader_float3\"\n"
               "                float3 inputs:fallback = (0.8, 0.8, 0.8)\n"
               "                string inputs:varname = \"displayColor\"\n"
               "                float3 outputs:result\n"
               "            }\n"
               "        }\n"
               "    }\n"
               "}\n");
    return out.take();
}

} // namespace tovarine::UsdaWriter
