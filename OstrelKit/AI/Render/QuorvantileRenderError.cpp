#include "QuorvantileRenderError.h"

namespace ostrel {

QString quorvantileRenderErrorDescription(QuorvantileRenderError error)
{
    switch (error) {
    case QuorvantileRenderError::noFrames:
        return QStringLiteral("No frames to render");
    case QuorvantileRenderError::noSegments:
        return QStringLiteral("No segments to concatenate");
    case QuorvantileRenderError::remoteRejected:
        return QStringLiteral("Remote node rejected the render job");
    case QuorvantileRenderError::remoteFailed:
        return QStringLiteral("Remote render failed");
    case QuorvantileRenderError::compositionFailed:
        return QStringLiteral("Failed to compose final video");
    case QuorvantileRenderError::transferFailed:
        return QStringLiteral("Failed to transfer source file");
    }
    return {};
}

} // namespace ostrel
