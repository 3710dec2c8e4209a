#pragma once

#include "Expected.h"
#include "ModelMesh.h"

#include <QImage>
#include <QString>
#include <atomic>
#include <cstddef>
#include <vector>

// Bakes the diffuse texture of a laid-out model (TextureAtlas) from the registered frames: every triangle
// takes its colour from the frames that see it best (facing it, at the finest resolution, not hidden behind
// the mesh); where several frames see it well their colours are blended by how well each sees it, so the
// seams between triangles lit by different frames do not show. Texels no frame sees keep the vertex colours,
// and every chart gets a gutter of its border colours so filtering never reaches the empty atlas. Any thread;
// `threads` workers.
namespace tovarine::TextureBaker {

// A frame's camera in the model's coordinates: x_cam = rotation * x_model + translation (camera looks along
// +z, image rows grow along +y), then the radial-tangential lens model on the normalised point, then the
// pixel.
struct Camera
{
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}; // row-major
    double translation[3] = {0, 0, 0};
    int widthPx = 0; // of the image the intrinsics describe
    int heightPx = 0;
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0;

    // Pixel position of camera-space point (x, y, z), z > 0.
    void project(double x, double y, double z, double& u, double& v) const;
};

struct View
{
    QString imagePath;
    Camera camera;
};

struct Options
{
    int sizePx = 2048; // texture side; the layout's texture coordinates address it
    int threads = 4;
    int maxImageSidePx = 2048; // frames are read scaled down to at most this side
    int depthSidePx = 512;     // side of the occlusion depth maps
    int blendViews = 3;        // frames blended per triangle at most
    double blendFloor =
        0.35; // a frame joins the blend when it sees the triangle this well relative to the best
    int gutterPx = 4;
    const std::atomic<bool>* cancelled = nullptr;
};

struct Report
{
    int framesRead = 0;
    int framesUnreadable = 0;
    std::size_t trianglesFromFrames = 0;
    std::size_t trianglesFromVertexColours = 0;
};

// `mesh` must carry texture coordinates (and, for the texels no frame sees, vertex colours). Error: a
// sentence when the mesh has no texture coordinates, no frame could be read, or no frame sees any of the
// mesh; cancelled gives an error with an empty text.
Expected<QImage, QString> bake(const ModelMesh& mesh, const std::vector<View>& views, const Options& options,
                               Report* report = nullptr);

} // namespace tovarine::TextureBaker
