#pragma once

#include <QLatin1StringView>
#include <QList>

// The kit's vocabulary of icon meanings: each constant is the catalogue name of a symbol image. Views ask
// for a meaning (OstrelSymbols::search) rather than an image; OstrelSymbolPainter resolves the names it knows
// to something this desktop can draw. Two pairs of meanings share a name (importFile/save,
// cubeTransparent/wireframe). `delete` is spelled `delete_` because `delete` is a C++ keyword.
// Constants; any thread.
namespace ostrel::OstrelSymbols {

inline constexpr QLatin1StringView settings{"gearshape"};
inline constexpr QLatin1StringView search{"magnifyingglass"};
inline constexpr QLatin1StringView help{"questionmark.circle"};
inline constexpr QLatin1StringView close{"xmark"};
inline constexpr QLatin1StringView sidebar{"sidebar.left"};
inline constexpr QLatin1StringView info{"info.circle"};
inline constexpr QLatin1StringView exportFile{"square.and.arrow.up"};
inline constexpr QLatin1StringView importFile{"square.and.arrow.down"};
inline constexpr QLatin1StringView save{"square.and.arrow.down"};
inline constexpr QLatin1StringView folder{"folder"};
inline constexpr QLatin1StringView document{"doc"};
inline constexpr QLatin1StringView add{"plus"};
inline constexpr QLatin1StringView delete_{"trash"};
inline constexpr QLatin1StringView copy{"doc.on.doc"};
inline constexpr QLatin1StringView play{"play.fill"};
inline constexpr QLatin1StringView pause{"pause.fill"};
inline constexpr QLatin1StringView stop{"stop.fill"};
inline constexpr QLatin1StringView reset{"arrow.counterclockwise"};
inline constexpr QLatin1StringView forward{"forward.fill"};
inline constexpr QLatin1StringView backward{"backward.fill"};
inline constexpr QLatin1StringView zoomToFit{"arrow.up.left.and.arrow.down.right"};
inline constexpr QLatin1StringView camera{"camera"};
inline constexpr QLatin1StringView capture{"camera.shutter.button"};
inline constexpr QLatin1StringView grid{"grid"};
inline constexpr QLatin1StringView ruler{"ruler"};
inline constexpr QLatin1StringView rotate{"arrow.triangle.2.circlepath"};
inline constexpr QLatin1StringView flip{"arrow.left.and.right.righttriangle.left.righttriangle.right"};
inline constexpr QLatin1StringView cube{"cube"};
inline constexpr QLatin1StringView cubeTransparent{"cube.transparent"};
inline constexpr QLatin1StringView layers{"square.3.layers.3d"};
inline constexpr QLatin1StringView material{"circle.lefthalf.filled"};
inline constexpr QLatin1StringView light{"sun.max"};
inline constexpr QLatin1StringView color{"paintpalette"};
inline constexpr QLatin1StringView eye{"eye"};
inline constexpr QLatin1StringView eyeOff{"eye.slash"};
inline constexpr QLatin1StringView lock{"lock"};
inline constexpr QLatin1StringView unlock{"lock.open"};
inline constexpr QLatin1StringView brush{"paintbrush"};
inline constexpr QLatin1StringView sculpt{"hand.draw"};
inline constexpr QLatin1StringView eraser{"eraser"};
inline constexpr QLatin1StringView pencil{"pencil"};
inline constexpr QLatin1StringView select{"cursorarrow"};
inline constexpr QLatin1StringView move{"arrow.up.and.down.and.arrow.left.and.right"};
inline constexpr QLatin1StringView scale{"arrow.up.left.and.down.right.magnifyingglass"};
inline constexpr QLatin1StringView crop{"crop"};
inline constexpr QLatin1StringView ai{"brain"};
inline constexpr QLatin1StringView nerdMode{"wrench.and.screwdriver"};
inline constexpr QLatin1StringView commandPalette{"command"};
inline constexpr QLatin1StringView terminal{"terminal"};
inline constexpr QLatin1StringView ok{"checkmark.circle.fill"};
inline constexpr QLatin1StringView warning{"exclamationmark.triangle.fill"};
inline constexpr QLatin1StringView error{"xmark.circle.fill"};
inline constexpr QLatin1StringView inProgress{"circle.dotted"};
inline constexpr QLatin1StringView audio{"speaker.wave.2"};
inline constexpr QLatin1StringView audioOff{"speaker.slash"};
inline constexpr QLatin1StringView zebra{"lines.measurement.horizontal"};
inline constexpr QLatin1StringView wireframe{"cube.transparent"};
inline constexpr QLatin1StringView heatmap{"thermometer.medium"};
inline constexpr QLatin1StringView chevronRight{"chevron.right"};
inline constexpr QLatin1StringView chevronDown{"chevron.down"};
inline constexpr QLatin1StringView chevronUp{"chevron.up"};
inline constexpr QLatin1StringView arrowBack{"arrow.backward"};

// One catalogue row: the meaning's name as declared and its symbol image name.
struct Symbol
{
    QLatin1StringView meaning;
    QLatin1StringView name;
};

// Every row, in declaration order (62 rows).
const QList<Symbol>& all();

} // namespace ostrel::OstrelSymbols
