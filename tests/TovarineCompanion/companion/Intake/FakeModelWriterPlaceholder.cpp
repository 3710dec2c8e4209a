#include "FakePhotogrammetrySession.h"

#include <QFile>

namespace tovarine::test {

// Used while the model-file library is not built: a file that stands for the model.
void FakeEngine::writeCubeModel(const QString& modelPath)
{
    QFile file(modelPath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("placeholder model");
    }
}

} // namespace tovarine::test
