#include "FakePhotogrammetrySession.h"
#include "UsdzFile.h"

namespace tovarine::test {

void FakeEngine::writeCubeModel(const QString& modelPath)
{
    // A 0.1 m cube standing on y = 0 (metres, +Y up), as an engine would write it.
    ModelMesh mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.positions.insert(mesh.positions.end(),
                              {(i & 1) ? 0.05f : -0.05f, (i & 2) ? 0.1f : 0.0f, (i & 4) ? 0.05f : -0.05f});
    }
    mesh.indices = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                    2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    UsdzFile::write(mesh, modelPath);
}

} // namespace tovarine::test
