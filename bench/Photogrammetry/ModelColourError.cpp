// How faithfully a reconstructed model shows the capture's colours: the model is drawn from every registered
// frame's own viewpoint, once with its texture and once with its vertex colours, and each drawing is compared
// with the frame itself over the pixels the model covers. Like a camera's pixels, each drawn pixel is the
// average of a block of samples (--supersample), so a texture finer than the pixels is not aliased. Run on
// the work folder a kept reconstruction left (photogrammetry_bench --keep); writes a picture of the frame it
// names: the frame, the vertex colours and the texture side by side, around the model.
//   model_colour_error --work DIR --model model.usdz [--pictures DIR] [--frame N]
//                      [--supersample 4]
#include "ColmapTextModel.h"
#include "ModelTexturing.h"
#include "ObjectPointCloud.h"
#include "TriangleRaster.h"
#include "UsdzFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

using namespace tovarine;

namespace {

constexpr int kMaxSidePx = 800;

struct Drawn
{
    QImage textured;
    QImage vertexColoured;
    QImage mask;
};

std::array<double, 3> bilinear(const QImage& image, double x, double y)
{
    x = std::clamp(x - 0.5, 0.0, image.width() - 1.0);
    y = std::clamp(y - 0.5, 0.0, image.height() - 1.0);
    const int x0 = int(x);
    const int y0 = int(y);
    const int x1 = std::min(x0 + 1, image.width() - 1);
    const int y1 = std::min(y0 + 1, image.height() - 1);
    const double tx = x - x0;
    const double ty = y - y0;
    std::array<double, 3> out{};
    const uchar* r0 = image.constScanLine(y0);
    const uchar* r1 = image.constScanLine(y1);
    for (int c = 0; c < 3; ++c) {
        out[c] = (r0[3 * x0 + c] * (1 - tx) + r0[3 * x1 + c] * tx) * (1 - ty) +
                 (r1[3 * x0 + c] * (1 - tx) + r1[3 * x1 + c] * tx) * ty;
    }
    return out;
}

// Draws `mesh` as `view` sees it at `width` × `height` (the view's image scaled down), perspective-correct.
Drawn draw(const ModelMesh& mesh, const QImage& texture, const TextureBaker::View& view, int width,
           int height)
{
    const TextureBaker::Camera& camera = view.camera;
    const double scale = double(width) / camera.widthPx;
    Drawn out{QImage(width, height, QImage::Format_RGB888), QImage(width, height, QImage::Format_RGB888),
              QImage(width, height, QImage::Format_Grayscale8)};
    out.textured.fill(Qt::black);
    out.vertexColoured.fill(Qt::black);
    out.mask.fill(0);
    std::vector<float> depth(std::size_t(width) * height, std::numeric_limits<float>::infinity());
    const std::size_t n = mesh.vertexCount();
    std::vector<std::array<double, 3>> p(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double* r = camera.rotation;
        const double x = mesh.positions[3 * i], y = mesh.positions[3 * i + 1], z = mesh.positions[3 * i + 2];
        const double cx = r[0] * x + r[1] * y + r[2] * z + camera.translation[0];
        const double cy = r[3] * x + r[4] * y + r[5] * z + camera.translation[1];
        const double cz = r[6] * x + r[7] * y + r[8] * z + camera.translation[2];
        double u = 0;
        double v = 0;
        if (cz > 1e-9) {
            camera.project(cx, cy, cz, u, v);
        }
        p[i] = {u * scale, v * scale, cz};
    }
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        const std::uint32_t* idx = &mesh.indices[3 * t];
        const auto &a = p[idx[0]], &b = p[idx[1]], &c = p[idx[2]];
        if (a[2] <= 1e-9 || b[2] <= 1e-9 || c[2] <= 1e-9) {
            continue;
        }
        rasteriseTriangle(a[0], a[1], b[0], b[1], c[0], c[1], width, height,
                          [&](int x, int y, double w0, double w1, double w2) {
                              const double inv = w0 / a[2] + w1 / b[2] + w2 / c[2];
                              const float z = float(1.0 / inv);
                              float& d = depth[std::size_t(y) * width + x];
                              if (z >= d) {
                                  return;
                              }
                              d = z;
                              // Perspective-correct weights.
                              w0 = w0 / a[2] / inv;
                              w1 = w1 / b[2] / inv;
                              w2 = w2 / c[2] / inv;
                              uchar* vc = out.vertexColoured.scanLine(y) + 3 * x;
                              uchar* tx = out.textured.scanLine(y) + 3 * x;
                              for (int ch = 0; ch < 3; ++ch) {
                                  const double value = w0 * mesh.colors[3 * idx[0] + ch] +
                                                       w1 * mesh.colors[3 * idx[1] + ch] +
                                                       w2 * mesh.colors[3 * idx[2] + ch];
                                  vc[ch] = uchar(std::clamp(std::lround(value * 255), 0L, 255L));
                              }
                              if (!texture.isNull()) {
                                  const double s = w0 * mesh.texcoords[2 * idx[0]] +
                                                   w1 * mesh.texcoords[2 * idx[1]] +
                                                   w2 * mesh.texcoords[2 * idx[2]];
                                  const double tt = w0 * mesh.texcoords[2 * idx[0] + 1] +
                                                    w1 * mesh.texcoords[2 * idx[1] + 1] +
                                                    w2 * mesh.texcoords[2 * idx[2] + 1];
                                  const auto colour =
                                      bilinear(texture, s * texture.width(), (1 - tt) * texture.height());
                                  for (int ch = 0; ch < 3; ++ch) {
                                      tx[ch] = uchar(std::clamp(std::lround(colour[ch]), 0L, 255L));
                                  }
                              }
                              out.mask.scanLine(y)[x] = 255;
                          });
    }
    return out;
}

// `drawn` made `factor` times larger, shrunk back by averaging each factor × factor block, as a camera's
// pixel gathers the light of its whole area (a texture drawn one sample per pixel aliases where its texels
// are smaller than the pixels). A pixel is in the mask when all of its block is.
Drawn averageBlocks(const Drawn& drawn, int factor)
{
    if (factor <= 1) {
        return drawn;
    }
    const int width = drawn.mask.width() / factor;
    const int height = drawn.mask.height() / factor;
    Drawn out{QImage(width, height, QImage::Format_RGB888), QImage(width, height, QImage::Format_RGB888),
              QImage(width, height, QImage::Format_Grayscale8)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int covered = 0;
            int textured[3] = {0, 0, 0};
            int coloured[3] = {0, 0, 0};
            for (int dy = 0; dy < factor; ++dy) {
                const int sy = y * factor + dy;
                for (int dx = 0; dx < factor; ++dx) {
                    const int sx = x * factor + dx;
                    covered += drawn.mask.constScanLine(sy)[sx] != 0;
                    for (int c = 0; c < 3; ++c) {
                        textured[c] += drawn.textured.constScanLine(sy)[3 * sx + c];
                        coloured[c] += drawn.vertexColoured.constScanLine(sy)[3 * sx + c];
                    }
                }
            }
            const int n = factor * factor;
            for (int c = 0; c < 3; ++c) {
                out.textured.scanLine(y)[3 * x + c] = uchar((textured[c] + n / 2) / n);
                out.vertexColoured.scanLine(y)[3 * x + c] = uchar((coloured[c] + n / 2) / n);
            }
            out.mask.scanLine(y)[x] = covered == n ? 255 : 0;
        }
    }
    return out;
}

double meanError(const QImage& drawn, const QImage& frame, const QImage& mask, std::size_t& pixels)
{
    double sum = 0;
    pixels = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            if (!mask.constScanLine(y)[x]) {
                continue;
            }
            const uchar* a = drawn.constScanLine(y) + 3 * x;
            const uchar* b = frame.constScanLine(y) + 3 * x;
            sum += std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
            ++pixels;
        }
    }
    return pixels ? sum / (3.0 * pixels) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption workOption(QStringLiteral("work"), QStringLiteral("Kept work folder."),
                                        QStringLiteral("dir"));
    const QCommandLineOption modelOption(QStringLiteral("model"), QStringLiteral("The model file."),
                                         QStringLiteral("file"));
    const QCommandLineOption picturesOption(QStringLiteral("pictures"),
                                            QStringLiteral("Folder for pictures."), QStringLiteral("dir"));
    const QCommandLineOption frameOption(QStringLiteral("frame"),
                                         QStringLiteral("Frame shown in the pictures."), QStringLiteral("n"),
                                         QStringLiteral("0"));
    const QCommandLineOption supersampleOption(
        QStringLiteral("supersample"),
        QStringLiteral("Draw the model n times larger and average each n x n block into a pixel (1: one "
                       "sample per pixel)."),
        QStringLiteral("n"), QStringLiteral("4"));
    parser.addOptions({workOption, modelOption, picturesOption, frameOption, supersampleOption});
    parser.addHelpOption();
    parser.process(app);
    const QDir work(parser.value(workOption));

    // The sparse model with the most registered frames, and the model frame the reconstruction found in it.
    auto sparse = ColmapTextModel::read(ColmapTextModel::largestModel(work.filePath(QStringLiteral("text"))));
    if (!sparse) {
        std::fprintf(stderr, "%s\n", qPrintable(sparse.error()));
        return 1;
    }
    auto cloud = ObjectPointCloud::build(*sparse);
    if (!cloud) {
        std::fprintf(stderr, "%s\n", qPrintable(cloud.error()));
        return 1;
    }
    auto model = UsdzFile::read(parser.value(modelOption));
    if (!model) {
        std::fprintf(stderr, "%s\n", qPrintable(model.error()));
        return 1;
    }
    QImage texture;
    if (model->hasTexture()) {
        texture = QImage::fromData(QByteArray::fromStdString(model->textureBytes))
                      .convertToFormat(QImage::Format_RGB888);
    }
    const auto views = ModelTexturing::views(*sparse, cloud->frame, work.filePath(QStringLiteral("images")));
    double textureSum = 0;
    double vertexSum = 0;
    std::size_t total = 0;
    const int supersample = std::clamp(parser.value(supersampleOption).toInt(), 1, 8);
    const int pictureFrame = parser.value(frameOption).toInt();
    for (std::size_t i = 0; i < views.size(); ++i) {
        QImageReader reader(views[i].imagePath);
        const QSize size = reader.size();
        const double shrink = std::min(1.0, double(kMaxSidePx) / std::max(size.width(), size.height()));
        const QSize scaled(int(std::lround(views[i].camera.widthPx * shrink)),
                           int(std::lround(views[i].camera.heightPx * shrink)));
        reader.setScaledSize(scaled);
        const QImage frame = reader.read().convertToFormat(QImage::Format_RGB888);
        if (frame.isNull()) {
            continue;
        }
        const Drawn drawn = averageBlocks(
            draw(*model, texture, views[i], frame.width() * supersample, frame.height() * supersample),
            supersample);
        std::size_t pixels = 0;
        const double textureError =
            texture.isNull() ? 0.0 : meanError(drawn.textured, frame, drawn.mask, pixels);
        const double vertexError = meanError(drawn.vertexColoured, frame, drawn.mask, pixels);
        textureSum += textureError * pixels;
        vertexSum += vertexError * pixels;
        total += pixels;
        if (parser.isSet(picturesOption) && int(i) == pictureFrame) {
            // The model's part of the frame, with a margin, at twice its size.
            QRect box;
            for (int y = 0; y < drawn.mask.height(); ++y) {
                for (int x = 0; x < drawn.mask.width(); ++x) {
                    if (drawn.mask.constScanLine(y)[x]) {
                        box |= QRect(x, y, 1, 1);
                    }
                }
            }
            const int margin = std::max(box.width(), box.height()) / 10;
            box = box.adjusted(-margin, -margin, margin, margin).intersected(frame.rect());
            const QSize panel = box.size() * 2;
            QImage side(panel.width() * 3, panel.height(), QImage::Format_RGB888);
            QPainter painter(&side);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            int at = 0;
            for (const QImage* image : {&frame, &drawn.vertexColoured, &drawn.textured}) {
                painter.drawImage(QRect(QPoint(at, 0), panel), *image, box);
                at += panel.width();
            }
            painter.end();
            side.save(
                QDir(parser.value(picturesOption)).filePath(QStringLiteral("texture-vs-vertex-colours.png")));
        }
    }
    if (total == 0) {
        std::fprintf(stderr, "the model covers no pixel of any frame\n");
        return 1;
    }
    std::printf("frames %zu, model pixels %zu\n", views.size(), total);
    std::printf("mean colour error (0-255): texture %.2f, vertex colours %.2f, ratio %.3f\n",
                textureSum / total, vertexSum / total, vertexSum > 0 ? textureSum / vertexSum : 0.0);
    return 0;
}
