#pragma once

#include "OrbitCamera.h"
#include "PreviewBuffers.h"
#include "PreviewLook.h"

#include <QOpenGLBuffer>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QOpenGLVertexArrayObject>
#include <memory>

namespace tovarine {

// What a frame shows of the model: the shading mode and the look values.
struct PreviewLookValues
{
    PreviewLook::ShadingMode shading = PreviewLook::ShadingMode::lit;
    float brightness = 0.0f;
    float contrast = 1.0f;
    float roughness = PreviewLook::kRoughness; // of the physically based material, 0...1
};

// Draws one model with the studio rig into the current OpenGL 3.3 core context: physically based lighting
// (GGX, roughness from the look values (0.6 by default), metalness 0) with the model's texture, or else its
// vertex colours, as the diffuse colour after the look formula,
// unlit colour for "albedo", every edge as a line for "wireframe"; black background, no shadows.
// Thread: the thread owning the current context; initialize, upload, render and release all need it.
class PreviewRenderer
{
public:
    PreviewRenderer();
    ~PreviewRenderer();

    // Compiles the shaders. False (with log()) when the context cannot run them.
    bool initialize();
    const QString& log() const { return m_log; }

    // Replaces the drawn model (null: draw nothing).
    void upload(const std::shared_ptr<const PreviewBuffers>& buffers);
    bool hasModel() const { return m_triangleCount > 0 || m_edgeCount > 0; }

    // Clears to black and draws into the bound framebuffer of the given pixel size.
    void render(const OrbitCamera& camera, int widthPx, int heightPx, const PreviewLookValues& look);
    // Draws `edgeCount` uploaded edges from edge `firstEdge` on as unlit lines in their vertex colours at
    // `opacity` (0...1), over what the framebuffer holds (no clear; depth-tested). Out-of-range edges are
    // clipped to the uploaded ones.
    void renderEdges(const OrbitCamera& camera, int widthPx, int heightPx, int firstEdge, int edgeCount,
                     float opacity);

    // Frees the GL objects; the context must be current.
    void release();

private:
    QOpenGLFunctions_3_3_Core m_gl;
    QOpenGLShaderProgram m_program;
    QOpenGLVertexArrayObject m_vao;
    QOpenGLBuffer m_vertexBuffer{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer m_texcoordBuffer{QOpenGLBuffer::VertexBuffer};
    std::unique_ptr<QOpenGLTexture> m_texture; // of a textured model; it replaces the vertex colours
    QOpenGLBuffer m_triangleBuffer{QOpenGLBuffer::IndexBuffer};
    QOpenGLBuffer m_edgeBuffer{QOpenGLBuffer::IndexBuffer};
    int m_triangleCount = 0;
    int m_edgeCount = 0;
    bool m_initialized = false;
    QString m_log;
};

} // namespace tovarine
