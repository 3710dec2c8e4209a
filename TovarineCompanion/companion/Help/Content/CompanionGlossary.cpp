#include "CompanionHelp.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"

// The glossary shown in the Concordance panel.
namespace tovarine::CompanionHelp {

namespace {

ostrel::ConcordanceEntry term(const char* name, const char* detail)
{
    return ostrel::ConcordanceEntry(QString::fromUtf8(name), QString::fromUtf8(detail));
}

} // namespace

ostrel::ConcordanceConfiguration concordanceConfig()
{
    using ostrel::OstrelPalette::srgb;
    namespace Fonts = ostrel::OstrelFonts;

    QList<ostrel::ConcordanceSection> sections{
        {QStringLiteral("Capture"),
         {
             term("Tovarine", "The word for a single captured object, treated as a thing worth describing. It is "
                              "a noun and a verb at once: you tovarine a teacup, and the result is a tovarine."),
             term("Package (.zip)", "A capture folder zipped for transfer: the frames, the phone's reduced-detail "
                                    "mesh and the label. The drop zone reconstructs from it."),
             term("Frames", "JPEG stills captured at about 3 frames per second while you scan; the input of the "
                            "reconstruction."),
             term("Images/", "The canonical frames subfolder. A drop looks for it one or two levels deep."),
             term("Label", "The name you give a capture on the phone, stored as label.txt; there it names the zip "
                           "and its inner folder. The companion copies it into the result folder but does not "
                           "name the folder after it: a dropped folder gives its own name, a zip a Wordbank "
                           "name."),
         }},
        {QStringLiteral("Mechanism \u2014 hardware"),
         {
             term("LiDAR scanner", "Time-of-flight depth from an infrared laser: coarse (256×192) but metric."),
             term("TrueDepth", "The front structured-light depth system; not used for scanning."),
             term("RGB camera", "The wide camera that carries colour and the features photogrammetry matches. "
                                "\u201CLiDAR supplies metric scale; RGB supplies the look.\u201D"),
         }},
        {QStringLiteral("Mechanism \u2014 photogrammetry"),
         {
             term("Photogrammetry", "3D form from many 2D images, by triangulating matching features. The "
                                    "technique is old; what has changed is the compute."),
             term("PhotogrammetrySession", "The phone platform's photogrammetry engine, which gives reduced detail "
                                           "on the phone. On this computer the companion reconstructs at medium, "
                                           "full or raw; full is the default."),
             term("Reduced vs Full", "On this computer: Reduced builds the model from the sparse points "
                                     "(about 18,000 triangles for a 36-frame capture), Full from dense depth "
                                     "maps (about 1,000,000 for the same capture)."),
             term("Raw", "The highest-detail mode: slow, not always legible, useful for real micro-texture."),
         }},
        {QStringLiteral("History of scanning"),
         {
             term("Laussedat, 1850s", "Aimé Laussedat makes the first credible claim on mapping terrain from "
                                      "photographs, and is often called the father of photogrammetry."),
             term("Nadar, 1858", "Nadar takes the first aerial photograph, from a tethered balloon over Paris."),
             term("Pulfrich, 1901", "Carl Pulfrich's stereocomparator, the stereo plotting instrument that made "
                                    "photogrammetry industrial."),
             term("Laser scanning, 1960s", "The first mechanical laser scanners: slow, expensive, and surface "
                                           "only."),
             term("Structure from motion, 1990s\u20132000s", "Geometry and camera positions solved together from "
                                                             "unordered images; the core of modern consumer "
                                                             "photogrammetry."),
             term("LiDAR, 2020", "Depth sensing arrives on tablets and phones, and scanning stops being a "
                                 "specialist's task."),
         }},
        {QStringLiteral("Units + orientation"),
         {
             term("Millimeters", "The default unit for display, OBJ export and zip names. Inches by setting; never "
                                 "centimetres or metres."),
             term("+Z up", "Exported meshes come out Z-up; the exporter turns the reconstruction's Y-up output."),
             term("Wordbank naming", "A drop without a usable name (a zip, or a folder named only with digits or "
                                     "an identifier) gets a legible adjective-noun pair (\u201Cquiet-teacup\u201D); "
                                     "when it is taken, \u201C-2\u201D, \u201C-3\u201D \u2026 follows."),
         }},
        {QStringLiteral("Rules"),
         {
             term("Local only", "\u201CNo cloud, no account, no server.\u201D The phone scans and reconstructs; "
                                "this computer adds full-detail photogrammetry and the Morvel."),
         }},
    };

    return ostrel::ConcordanceConfiguration{
        QStringLiteral("tovarine"),
        versionString(),
        Fonts::monospaced(18, QFont::Bold),
        Fonts::monospaced(10, QFont::DemiBold),
        Fonts::monospaced(11, QFont::Medium),
        Fonts::serif(10, QFont::Normal),
        srgb(0.06, 0.05, 0.09), // background
        srgb(0.45, 0.43, 0.50), // header
        srgb(0.84, 0.72, 0.35), // accent
        srgb(0.55, 0.53, 0.60), // subtitle
        srgb(0.75, 0.73, 0.80), // section title
        srgb(0.84, 0.72, 0.35), // chevron
        QColor(Qt::white),      // term
        srgb(0.75, 0.73, 0.80), // detail
        srgb(0.25, 0.23, 0.30), // divider
        srgb(0.45, 0.43, 0.50), // count
        srgb(0.45, 0.43, 0.50), // footer
        QStringLiteral("A scanner's companion"),
        QStringLiteral("OstrelDesignSystem\u2122 \u00B7 ") + makerDomain(),
        sections,
    };
}

} // namespace tovarine::CompanionHelp
