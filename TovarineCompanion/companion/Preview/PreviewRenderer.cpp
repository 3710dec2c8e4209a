#include "PreviewRenderer.h"

#include <QVector4D>
#include <algorithm>

namespace tovarine {

namespace {

// Depth offset of edge runs in normalised device units.
constexpr float kEdgeDepthBias = 2e-4f;

const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec3 aColor;
layout(location = 3) in vec2 aTexCoord;
uniform mat4 uViewProjection;
out vec3 vPosition;
out vec3 vNormal;
out vec3 vColor;
out vec2 vTexCoord;
void main()
{
    vPosition = aPosition;
    vNormal = aNormal;
    vColor = aColor;
    vTexCoord = aTexCoord;
    gl_Position = uViewProjection * vec4(aPosition, 1.0);
}
)";

// Colours are display (sRGB) values; lighting runs in linear light and the result is encoded back.
const char* const kFragmentShader = R"(#version 330 core
in vec3 vPosition;
in vec3 vNormal;
in vec3 vColor;
in vec2 vTexCoord;
uniform int uUnlit;
uniform int uTextured;
uniform sampler2D uTexture;
uniform float uOpacity;
uniform float uBrightness;
uniform float uContrast;
uniform float uRoughness;
uniform float uMetalness;
uniform vec3 uCameraPosition;
uniform float uAmbient;
uniform vec3 uLightDirections[3];
uniform float uLightIntensities[3];
out vec4 fragColor;

const float PI = 3.14159265359;

vec3 toLinear(vec3 c) { return pow(c, vec3(2.2)); }
vec3 toDisplay(vec3 c) { return pow(clamp(c, 0.0, 1.0), vec3(1.0 / 2.2)); }

void main()
{
    vec3 base = uTextured == 1 ? texture(uTexture, vTexCoord).rgb : vColor;
    vec3 diffuse = (base - 0.5) * uContrast + 0.5 + uBrightness;
    diffuse = clamp(diffuse, 0.0, 1.0);
    if (uUnlit == 1) {
        fragColor = vec4(diffuse, uOpacity);
        return;
    }
    vec3 albedo = toLinear(diffuse);
    vec3 n = normalize(vNormal);
    vec3 v = normalize(uCameraPosition - vPosition);
    if (dot(n, v) < 0.0) {
        n = -n; // two-sided: scans are often open surfaces
    }
    float alpha = uRoughness * uRoughness;
    vec3 f0 = mix(vec3(0.04), albedo, uMetalness);
    vec3 color = uAmbient * albedo * (1.0 - uMetalness);
    for (int i = 0; i < 3; ++i) {
        vec3 l = uLightDirections[i];
        vec3 h = normalize(l + v);
        float nl = max(dot(n, l), 0.0);
        float nv = max(dot(n, v), 1e-4);
        float nh = max(dot(n, h), 0.0);
        float a2 = alpha * alpha;
        float d = a2 / (PI * pow(nh * nh * (a2 - 1.0) + 1.0, 2.0));
        float k = (uRoughness + 1.0) * (uRoughness + 1.0) / 8.0;
        float g = (nv / (nv * (1.0 - k) + k)) * (nl / (nl * (1.0 - k) + k));
        vec3 f = f0 + (1.0 - f0) * pow(1.0 - max(dot(h, v), 0.0), 5.0);
        vec3 specular = d * g * f / max(4.0 * nv * nl, 1e-4);
        vec3 kd = (vec3(1.0) - f) * (1.0 - uMetalness);
        color += (kd * albedo / PI + specular) * uLightIntensities[i] * PI * nl;
    }
    fragColor = vec4(toDisplay(color), 1.0);
}
)";

} // namespace

PreviewRenderer::PreviewRenderer() = default;

PreviewRenderer::~PreviewRenderer() = default;

bool PreviewRenderer::initialize()
{
    if (m_initialized) {
        return true;
    }
    if (!m_gl.initializeOpenGLFunctions()) {
        m_log = QStringLiteral("OpenGL 3.3 core is not available.");
        return false;
    }
    if (!m_program.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !m_program.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) || !m_program.link()) {
        m_log = m_program.log();
        return false;
    }
    m_vao.create();
    m_vertexBuffer.create();
    m_texcoordBuffer.create();
    m_triangleBuffer.create();
    m_edgeBuffer.create();
    m_initialized = true;
    return true;
}

void PreviewRenderer::upload(const std::shared_ptr<const PreviewBuffers>& buffers)
{
    if (!m_initialized) {
        return;
    }
    m_triangleCount = 0;
    m_edgeCount = 0;
    if (!buffers || buffers->vertices.empty()) {
        return;
    }
    QOpenGLVertexArrayObject::Binder binder(&m_vao);
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(buffers->vertices.data(), int(buffers->vertices.size() * sizeof(float)));
    const int stride = PreviewBuffers::kFloatsPerVertex * sizeof(float);
    for (int attribute = 0; attribute < 3; ++attribute) {
        m_gl.glEnableVertexAttribArray(attribute);
        m_gl.glVertexAttribPointer(
            attribute, 3, GL_FLOAT, GL_FALSE, stride,
            reinterpret_cast<const void*>(std::uintptr_t(attribute * 3 * sizeof(float))));
    }
    m_texture.reset();
    if (!buffers->texture.isNull() && buffers->texcoords.size() == buffers->vertexCount() * 2) {
        m_texcoordBuffer.bind();
        m_texcoordBuffer.allocate(buffers->texcoords.data(), int(buffers->texcoords.size() * sizeof(float)));
        m_gl.glEnableVertexAttribArray(3);
        m_gl.glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
        GLint maxSide = 0;
        m_gl.glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
        m_texture = std::make_unique<QOpenGLTexture>(textureWithin(buffers->texture, maxSide),
                                                     QOpenGLTexture::GenerateMipMaps);
        m_texture->setMinificationFilter(QOpenGLTexture::LinearMipMapLinear);
        m_texture->setMagnificationFilter(QOpenGLTexture::Linear);
        m_texture->setWrapMode(QOpenGLTexture::ClampToEdge);
    } else {
        m_gl.glDisableVertexAttribArray(3);
    }
    m_triangleBuffer.bind();
    m_triangleBuffer.allocate(buffers->triangleIndices.data(),
                              int(buffers->triangleIndices.size() * sizeof(std::uint32_t)));
    m_triangleCount = int(buffers->triangleIndices.size() / 3);
    m_edgeBuffer.bind();
    m_edgeBuffer.allocate(buffers->edgeIndices.data(),
                          int(buffers->edgeIndices.size() * sizeof(std::uint32_t)));
    m_edgeCount = int(buffers->edgeIndices.size() / 2);
    m_vertexBuffer.release();
}

void PreviewRenderer::render(const OrbitCamera& camera, int widthPx, int heightPx,
                             const PreviewLookValues& look)
{
    m_gl.glViewport(0, 0, widthPx, heightPx);
    m_gl.glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    m_gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!m_initialized || !hasModel() || widthPx <= 0 || heightPx <= 0) {
        return;
    }
    m_gl.glEnable(GL_DEPTH_TEST);
    m_gl.glDisable(GL_CULL_FACE);
    m_gl.glEnable(GL_MULTISAMPLE);

    m_program.bind();
    const QMatrix4x4 viewProjection =
        camera.projectionMatrix(float(widthPx) / float(heightPx)) * camera.viewMatrix();
    m_program.setUniformValue("uViewProjection", viewProjection);
    m_program.setUniformValue("uUnlit", look.shading == PreviewLook::ShadingMode::albedo ? 1 : 0);
    const bool textured = m_texture && look.shading != PreviewLook::ShadingMode::wireframe;
    m_program.setUniformValue("uTextured", textured ? 1 : 0);
    m_program.setUniformValue("uTexture", 0);
    if (textured) {
        m_texture->bind(0);
    }
    m_program.setUniformValue("uOpacity", 1.0f);
    m_program.setUniformValue("uBrightness", look.brightness);
    m_program.setUniformValue("uContrast", look.contrast);
    m_program.setUniformValue("uRoughness", look.roughness);
    m_program.setUniformValue("uMetalness", PreviewLook::kMetalness);
    m_program.setUniformValue("uCameraPosition", camera.position());
    m_program.setUniformValue("uAmbient", PreviewLook::kAmbient.intensity / PreviewLook::kIntensityUnit);
    QVector3D directions[3];
    GLfloat intensities[3];
    for (int i = 0; i < 3; ++i) {
        directions[i] = PreviewLook::kDirectionalLights[i].position.normalized();
        intensities[i] = PreviewLook::kDirectionalLights[i].intensity / PreviewLook::kIntensityUnit;
    }
    m_program.setUniformValueArray("uLightDirections", directions, 3);
    m_program.setUniformValueArray("uLightIntensities", intensities, 3, 1);

    QOpenGLVertexArrayObject::Binder binder(&m_vao);
    if (look.shading == PreviewLook::ShadingMode::wireframe) {
        m_edgeBuffer.bind();
        m_gl.glDrawElements(GL_LINES, m_edgeCount * 2, GL_UNSIGNED_INT, nullptr);
    } else {
        m_triangleBuffer.bind();
        m_gl.glDrawElements(GL_TRIANGLES, m_triangleCount * 3, GL_UNSIGNED_INT, nullptr);
    }
    m_program.release();
    if (textured) {
        m_texture->release(0);
    }
    // Leave the state as a QPainter drawing over the frame expects it.
    m_gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_gl.glDisable(GL_DEPTH_TEST);
}

void PreviewRenderer::renderEdges(const OrbitCamera& camera, int widthPx, int heightPx, int firstEdge,
                                  int edgeCount, float opacity)
{
    firstEdge = std::clamp(firstEdge, 0, m_edgeCount);
    edgeCount = std::clamp(edgeCount, 0, m_edgeCount - firstEdge);
    if (!m_initialized || edgeCount == 0 || widthPx <= 0 || heightPx <= 0) {
        return;
    }
    m_gl.glViewport(0, 0, widthPx, heightPx);
    m_gl.glEnable(GL_DEPTH_TEST);
    m_gl.glEnable(GL_MULTISAMPLE);
    m_gl.glEnable(GL_BLEND);
    // The frame's own alpha stays opaque, so the widget never shows through.
    m_gl.glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);

    m_program.bind();
    // Lines are pulled a hair toward the viewer (in depth only), so edges lying on a drawn surface stay seen.
    QMatrix4x4 depthBias;
    depthBias(2, 3) = -kEdgeDepthBias;
    const QMatrix4x4 viewProjection =
        depthBias * camera.projectionMatrix(float(widthPx) / float(heightPx)) * camera.viewMatrix();
    m_program.setUniformValue("uViewProjection", viewProjection);
    m_program.setUniformValue("uUnlit", 1);
    m_program.setUniformValue("uTextured", 0);
    m_program.setUniformValue("uOpacity", std::clamp(opacity, 0.0f, 1.0f));
    m_program.setUniformValue("uBrightness", 0.0f);
    m_program.setUniformValue("uContrast", 1.0f);

    QOpenGLVertexArrayObject::Binder binder(&m_vao);
    m_edgeBuffer.bind();
    m_gl.glDrawElements(GL_LINES, edgeCount * 2, GL_UNSIGNED_INT,
                        reinterpret_cast<const void*>(std::uintptr_t(firstEdge) * 2 * sizeof(std::uint32_t)));
    m_program.release();
    m_gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_gl.glDisable(GL_BLEND);
    m_gl.glDisable(GL_DEPTH_TEST);
}

void PreviewRenderer::release()
{
    if (!m_initialized) {
        return;
    }
    m_texture.reset();
    m_vertexBuffer.destroy();
    m_texcoordBuffer.destroy();
    m_triangleBuffer.destroy();
    m_edgeBuffer.destroy();
    m_vao.destroy();
    m_program.removeAllShaders();
    m_initialized = false;
    m_triangleCount = 0;
    m_edgeCount = 0;
}

} // namespace tovarine
