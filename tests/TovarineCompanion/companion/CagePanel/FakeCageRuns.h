#pragma once

#include "MorvelMacSession.h"

#include <memory>
#include <optional>
#include <vector>

namespace tovarine::test {

// One fit a session started, played by the test: its request, its callbacks and how often it was stopped.
struct FakeCageFit
{
    MorvelRun::Request request;
    MorvelRun::StepCallback step;
    MorvelRun::FinishCallback finish;
    int stops = 0;
};

// Records every fit a session starts, so a test can play its steps and its ending.
struct FakeCageRuns
{
    std::vector<std::shared_ptr<FakeCageFit>> fits;

    MorvelMacSession::RunStarter starter()
    {
        return [this](const MorvelRun::Request& request, MorvelRun::StepCallback step,
                      MorvelRun::FinishCallback finish) {
            auto fit =
                std::make_shared<FakeCageFit>(FakeCageFit{request, std::move(step), std::move(finish), 0});
            fits.push_back(fit);
            return [fit] { ++fit->stops; };
        };
    }
};

// A finished fit that made a small cage (3,000 quads in 4.2 s), with an optional write error.
inline MorvelRun::Finished cageMade(std::optional<QString> writeError = std::nullopt)
{
    MorvelRun::Finished finished;
    finished.outcome.reply.ok = true;
    finished.outcome.reply.quads = 3000;
    MorvelPreview preview;
    preview.limitPositions = {0, 0, 0, 40, 0, 0, 0, 40, 0, 0, 0, 40};
    preview.limitTriangles = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};
    preview.cagePositions = preview.limitPositions;
    preview.cageEdges = {0, 1, 1, 2, 2, 0, 0, 3, 1, 3, 2, 3};
    preview.creaseWeights = {0, 1, 4, 0, 0, 0};
    finished.outcome.preview = preview;
    finished.outcome.writeError = std::move(writeError);
    finished.totalMs = 4200;
    return finished;
}

} // namespace tovarine::test
