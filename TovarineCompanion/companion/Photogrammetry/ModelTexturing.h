#pragma once

#include "ColmapTextModel.h"
#include "Expected.h"
#include "ModelMesh.h"
#include "ObjectPointCloud.h"
#include "TextureBaker.h"

#include <QString>
#include <atomic>
#include <vector>

// The texturing step of a reconstruction: the registered frames as cameras of the model, and the cleaned
// model laid out, baked and given its texture file. Any thread; no shared state.
namespace tovarine::ModelTexturing {

// The frames of `model` as seen from the model's coordinates (`frame` maps reconstruction to model), their
// images in `imagesFolder`. Frames whose camera is missing or of a lens model other than the pinhole and
// radial ones are left out.
std::vector<TextureBaker::View> views(const SparseModel& model, const ModelFrame& frame,
                                      const QString& imagesFolder);

struct Settings
{
    int sizePx = 2048;
    bool jpeg = true;
    int threads = 4;
    const std::atomic<bool>* cancelled = nullptr;
};

struct Outcome
{
    ModelMesh mesh; // split at the texture's chart seams, with texture coordinates and the encoded texture
    TextureBaker::Report report;
    int chartCount = 0;
};

// Lays out `mesh`, bakes its texture from `views` and encodes it ("diffuse.jpg" or "diffuse.png"). The vertex
// colours stay. Error: a sentence saying why the model has no texture; cancelled gives an empty one.
Expected<Outcome, QString> apply(const ModelMesh& mesh, const std::vector<TextureBaker::View>& views,
                                 const Settings& settings);

} // namespace tovarine::ModelTexturing
