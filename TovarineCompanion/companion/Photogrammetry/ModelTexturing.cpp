#include "ModelTexturing.h"

#include "TextureAtlas.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <unordered_map>

namespace tovarine::ModelTexturing {

namespace {

// Fills the lens of `camera` from a camera of cameras.txt; false for a lens model not handled here.
bool setLens(const SparseCamera& source, TextureBaker::Camera& camera)
{
    const std::vector<double>& p = source.params;
    const auto needs = [&](std::size_t count) { return p.size() >= count; };
    if (source.model == QLatin1String("SIMPLE_PINHOLE") && needs(3)) {
        camera.fx = camera.fy = p[0];
        camera.cx = p[1];
        camera.cy = p[2];
    } else if (source.model == QLatin1String("PINHOLE") && needs(4)) {
        camera.fx = p[0];
        camera.fy = p[1];
        camera.cx = p[2];
        camera.cy = p[3];
    } else if (source.model == QLatin1String("SIMPLE_RADIAL") && needs(4)) {
        camera.fx = camera.fy = p[0];
        camera.cx = p[1];
        camera.cy = p[2];
        camera.k1 = p[3];
    } else if (source.model == QLatin1String("RADIAL") && needs(5)) {
        camera.fx = camera.fy = p[0];
        camera.cx = p[1];
        camera.cy = p[2];
        camera.k1 = p[3];
        camera.k2 = p[4];
    } else if (source.model == QLatin1String("OPENCV") && needs(8)) {
        camera.fx = p[0];
        camera.fy = p[1];
        camera.cx = p[2];
        camera.cy = p[3];
        camera.k1 = p[4];
        camera.k2 = p[5];
        camera.p1 = p[6];
        camera.p2 = p[7];
    } else {
        return false;
    }
    camera.widthPx = source.widthPx;
    camera.heightPx = source.heightPx;
    return camera.fx > 0 && camera.fy > 0 && camera.widthPx > 0 && camera.heightPx > 0;
}

} // namespace

std::vector<TextureBaker::View> views(const SparseModel& model, const ModelFrame& frame,
                                      const QString& imagesFolder)
{
    std::unordered_map<int, const SparseCamera*> cameras;
    for (const SparseCamera& camera : model.cameras) {
        cameras.emplace(camera.id, &camera);
    }
    // model = s R (world - o), so world = R^T model / s + o, and the camera point scaled by s (which moves no
    // pixel) is (Rc R^T) model + s (Rc o + tc): depths come out in metres.
    const geo::Mat3 back = frame.rotation.transposed();
    const QDir folder(imagesFolder);
    std::vector<TextureBaker::View> out;
    for (const SparseImage& image : model.images) {
        const auto found = cameras.find(image.cameraId);
        TextureBaker::Camera camera;
        if (found == cameras.end() || !setLens(*found->second, camera)) {
            continue;
        }
        const geo::Mat3 rotation = image.rotation * back;
        const geo::Vec3 translation = (image.rotation * frame.origin + image.translation) * frame.scale;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                camera.rotation[3 * r + c] = rotation(r, c);
            }
            camera.translation[r] = translation[r];
        }
        out.push_back({folder.filePath(image.name), camera});
    }
    return out;
}

Expected<Outcome, QString> apply(const ModelMesh& mesh, const std::vector<TextureBaker::View>& views,
                                 const Settings& settings)
{
    if (views.empty()) {
        return unexpected(QStringLiteral("No frame has a camera the texture can be baked from."));
    }
    TextureAtlas::Options atlasOptions;
    atlasOptions.sizePx = settings.sizePx;
    auto layout = TextureAtlas::build(mesh, atlasOptions);
    if (!layout) {
        return unexpected(layout.error());
    }
    TextureBaker::Options options;
    options.sizePx = settings.sizePx;
    options.threads = settings.threads;
    options.cancelled = settings.cancelled;
    // Frames finer than the texture's texels add nothing but memory and time.
    options.maxImageSidePx = std::max(1024, settings.sizePx);
    Outcome outcome;
    auto texture = TextureBaker::bake(layout->mesh, views, options, &outcome.report);
    if (!texture) {
        return unexpected(texture.error());
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, settings.jpeg ? "jpeg" : "png");
    if (settings.jpeg) {
        writer.setQuality(92);
    }
    if (!writer.write(*texture)) {
        return unexpected(QStringLiteral("The texture could not be encoded (%1).").arg(writer.errorString()));
    }
    outcome.chartCount = layout->chartCount;
    outcome.mesh = std::move(layout->mesh);
    outcome.mesh.textureBytes = buffer.data().toStdString();
    outcome.mesh.textureName = settings.jpeg ? "diffuse.jpg" : "diffuse.png";
    return outcome;
}

} // namespace tovarine::ModelTexturing
