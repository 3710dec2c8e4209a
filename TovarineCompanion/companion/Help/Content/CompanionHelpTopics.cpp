#include "CompanionHelp.h"

// The help window's general and cage topics. Bodies are plain text: blank lines between paragraphs and
// "–" bullets.
namespace tovarine::CompanionHelp {

namespace {

ostrel::HelpEntry topic(const char* title, const char* section, const char* body)
{
    return ostrel::HelpEntry(QString::fromUtf8(title), QString::fromUtf8(body), QString::fromUtf8(section));
}

} // namespace

QList<ostrel::HelpEntry> baseEntries()
{
    return {
        topic("What the Companion does", "Getting started",
              "The companion reconstructs your phone scans on this computer at a higher detail than the phone "
              "can reach.\n\n"
              "You give it a capture folder; it writes a mesh and its metadata to a folder on your Desktop and "
              "shows a preview you can spin.\n\n"
              "The phone's own session offers only reduced detail. Here you can choose medium, full or raw."),
        topic("Sending a capture from the phone", "Getting started",
              "– On the phone, share the scan as a capture package (.zip).\n"
              "– Send it to this computer; it lands in your Downloads folder.\n"
              "– Drag the zip onto the drop zone in the main window."),
        topic("What a capture folder looks like", "Capture",
              "A capture folder holds:\n\n"
              "  <capture>/\n"
              "    Images/\n"
              "      frame_00000.jpg …  continuous frames\n"
              "      hires_00000.jpg …  full-sensor stills\n"
              "    model.usdz           the phone's model\n"
              "    label.txt            the scan's name\n\n"
              "Only Images/ is needed. When a capture mixes both kinds of frames, the stills are used when there "
              "are at least 20 of them; otherwise the continuous frames are used."),
        topic("Accepted inputs", "Capture",
              "You can drop:\n\n"
              "– the capture package (.zip);\n"
              "– a capture folder;\n"
              "– an Images/ folder on its own.\n\n"
              "A drop that holds no Images/ folder of JPEG frames is refused with a message, and nothing is "
              "written."),
        topic("Detail presets", "Reconstruction",
              "The detail setting chooses how fine the model is:\n\n"
              "– Full: the default; the surface comes from dense depth maps, about 1,000,000 triangles with a 4K "
              "texture and about ten minutes for 36 phone frames on 4 cores.\n"
              "– Medium: faster and coarser (about 45,000 triangles for the same frames); use it while you "
              "iterate.\n"
              "– Raw: the highest detail and the slowest; worth it only for real micro-texture."),
        topic("Cancelling", "Reconstruction",
              "Cancel stops a reconstruction while it runs. The source frames stay on disk, so you can drop the "
              "zip again whenever you like."),
        topic("Millimeters by default", "Units + orientation",
              "Exports are in millimetres. You can switch to inches in Settings; centimetres and metres are never "
              "used.\n\n"
              "Print preparation always writes millimetres and converts the values you type in inches."),
        topic("Z-up convention", "Units + orientation",
              "Exported meshes come out +Z up, the common convention of modelling tools. The reconstruction "
              "comes out Y-up; the OBJ exporter turns it."),
        topic("Where the result lands", "Files + sharing",
              "Each result gets its own folder, ~/Desktop/tovarine/<name>/, holding:\n\n"
              "– model.usdz, in metres;\n"
              "– model.obj, in millimetres and Z-up;\n"
              "– label.txt;\n"
              "– the Morvel files, after Make Morvel.\n\n"
              "The model shows in the preview beside the drop zone, and Reveal in File Manager opens the folder."),
        topic("Naming", "Files + sharing",
              "The result folder is named after the folder you drop: a capture folder gives its own name, an "
              "Images/ folder on its own gives Images. The capture's label.txt is copied into the folder; it "
              "does not name it.\n\n"
              "A zip gets a new Wordbank adjective-noun name, such as quiet-teacup, each time you drop it, so "
              "the same zip dropped twice gives two folders. A folder named only with digits or a machine "
              "identifier gets a Wordbank name too.\n\n"
              "Dropping a capture folder with a name of its own again reuses its folder. When the name is "
              "already taken by another capture, and whenever a Wordbank name is taken, -2, -3 … is added, so "
              "no earlier result is overwritten."),
        topic("Thicken", "Print prep",
              "Scans are thin sheets, and a sheet cannot be printed. Thicken offsets the surface inward by the "
              "shell thickness you choose and stitches a closed shell into model_thick_<N>mm.obj. The scan "
              "itself is left untouched.\n\n"
              "Tight concave regions may self-intersect."),
        topic("Min-thickness guard", "Print prep",
              "The guard ray-samples each face inward and marks the faces under the threshold in "
              "model_thinmap_<N>mm.obj, with a material file that colours them red.\n\n"
              "– It works on the newest Thicken result; on an open scan it asks you to Thicken first.\n"
              "– It reports open edges and edits nothing.\n"
              "– A printable minimum is about 0.8 to 1.2 mm; the field starts at 1.0 mm."),
        topic("Grow thin", "Print prep",
              "Grow thin moves the vertices of thin faces outward by half their shortfall and smooths the patch. "
              "It repeats sample, grow, smooth and re-sample up to four times, or until the thin count reaches "
              "zero or stops falling.\n\n"
              "It writes model_grown_<N>mm.obj and a re-guard, model_thinmap_postgrow_<N>mm.obj. When a step "
              "makes things worse, the best earlier step is kept.\n\n"
              "Suggested order: guard, grow, re-guard."),
    };
}

QList<ostrel::HelpEntry> morvelEntries()
{
    return {
        topic("Morvel", "Morvel",
              "A Morvel is an editable SubD: a quad cage fitted to your scan, so you can edit it smoothly in a "
              "SubD modeller instead of pushing a million triangles around.\n\n"
              "After a reconstruction, pick a detail and press Make Morvel. The engine then:\n"
              "– closes small tunnels and holes;\n"
              "– finds the hard edges;\n"
              "– lays out quads and builds the cage;\n"
              "– fits the cage to the scan and measures the deviation.\n\n"
              "The Cage wire toggle shows the cage over the scan: cyan for the cage, amber for hard creases, "
              "yellow for softened edges.\n\n"
              "The status line gives the quad count, the mean distance in mm, and the distance that 99% of the "
              "scan is within.\n\n"
              "Stop writes nothing. Time-outs, refusals and a stopped engine are reported; nothing retries on "
              "its own."),
        topic("Morvel detail levels", "Morvel",
              "– Preview 600: about 600 quads, from a 10,000-triangle copy of the scan; seconds.\n"
              "– Standard 3000: about 3,000 quads, the engine working from at most 30,000 triangles; usually "
              "under a minute.\n"
              "– Fine 8000: about 8,000 quads; can take minutes.\n\n"
              "The count is a target. Parts thinner than one quad do not survive at that density."),
        topic("Redo at full detail", "Morvel",
              "When the capture package carries the phone's cage settings (model_morvel_settings.json), the "
              "companion offers to run those settings on its own full-detail reconstruction."),
        topic("Morvel files", "Morvel",
              "Make Morvel writes into the result folder, in millimetres and Z up:\n\n"
              "– model_morvel.3dm: the SubD on layer \"Morvel (SubD)\", the scan on layer \"Scan mesh\";\n"
              "– model_morvel.vellacot: one Morvel with the scan as its reference mesh;\n"
              "– model_morvel_settings.json: the settings and the report, also stored inside both files.\n\n"
              "Hard edges become SubD creases; softened edges become SubD edge sharpness from 0 to 3. No STEP "
              "file is written."),
    };
}

} // namespace tovarine::CompanionHelp
