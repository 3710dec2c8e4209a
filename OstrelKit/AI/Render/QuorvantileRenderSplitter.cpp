#include "QuorvantileRenderSplitter.h"

#include <algorithm>
#include <cmath>

namespace ostrel::QuorvantileRenderSplitter {

namespace {

double weightOf(const std::optional<QuorvantileManifest>& manifest, double unknownWeight)
{
    if (manifest && manifest->gpuVRAMMB() && *manifest->gpuVRAMMB() >= 1) {
        return 3.0 + std::min(static_cast<double>(*manifest->gpuVRAMMB()) / 8192.0, 2.0);
    }
    return unknownWeight;
}

// Weighted shares, or no value when the weights cannot give them.
std::optional<QList<std::int64_t>> weightedShares(std::int64_t totalFrames, std::int64_t workerCount,
                                                  const std::optional<QList<double>>& weights)
{
    if (!weights || weights->size() != workerCount) {
        return std::nullopt;
    }
    double sum = 0.0;
    for (const double weight : *weights) {
        if (!std::isfinite(weight) || weight < 0.0) {
            return std::nullopt;
        }
        sum += weight;
    }
    if (!(sum > 0.0) || !std::isfinite(sum)) {
        return std::nullopt;
    }
    QList<std::int64_t> shares;
    std::int64_t assigned = 0;
    qsizetype heaviest = 0;
    for (qsizetype i = 0; i < weights->size(); ++i) {
        const auto share =
            static_cast<std::int64_t>(std::round((*weights)[i] * static_cast<double>(totalFrames) / sum));
        shares.append(share);
        assigned += share;
        if ((*weights)[i] > (*weights)[heaviest]) {
            heaviest = i;
        }
    }
    shares[heaviest] = std::max<std::int64_t>(shares[heaviest] + (totalFrames - assigned), 0);
    return shares;
}

} // namespace

QList<double> speedWeights(const std::optional<QuorvantileManifest>& local,
                           const QList<QuorvantileManifest>& remotes)
{
    QList<double> weights{weightOf(local, 1.0)};
    for (const QuorvantileManifest& remote : remotes) {
        weights.append(weightOf(remote, 1.2));
    }
    return weights;
}

QList<QuorvantileRenderJob> split(std::int64_t totalFrames, std::int64_t workerCount,
                                  const RenderParams& params, std::int64_t sourceFileSize,
                                  const std::optional<QList<double>>& weights, std::int64_t /*overlapFrames*/)
{
    QList<QuorvantileRenderJob> jobs;
    if (workerCount < 1 || totalFrames < 1) {
        return jobs;
    }
    QList<std::int64_t> shares;
    if (workerCount == 1) {
        shares = {totalFrames};
    } else if (auto weighted = weightedShares(totalFrames, workerCount, weights)) {
        shares = std::move(*weighted);
    } else {
        shares = QList<std::int64_t>(workerCount, totalFrames / workerCount);
        shares.last() += totalFrames % workerCount;
    }
    std::int64_t start = 0;
    for (qsizetype i = 0; i < shares.size(); ++i) {
        const bool last = i + 1 == shares.size();
        const std::int64_t end = last ? totalFrames : std::min(start + shares[i], totalFrames);
        if (end > start) {
            jobs.append(
                QuorvantileRenderJob(QUuid::createUuid(), start, end, totalFrames, params, sourceFileSize));
            start = end;
        }
    }
    return jobs;
}

} // namespace ostrel::QuorvantileRenderSplitter
