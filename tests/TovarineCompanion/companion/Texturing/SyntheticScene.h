#pragma once

#include "ModelMesh.h"
#include "TextureBaker.h"

#include <QImage>
#include <QString>
#include <array>
#include <vector>

// A small scene of known colour for the texture tests: axis-aligned boxes whose surface colour is a smooth
// function of position (or one flat colour per box), meshed as subdivided closed boxes with vertex colours,
// and frames rendered by ray casting from cameras around them.
namespace scene {

struct Box
{
    std::array<double, 3> lo;
    std::array<double, 3> hi;
    std::array<double, 3> flat{-1, -1, -1}; // flat colour (0...1), or the colour function where negative
};

std::array<double, 3> colourAt(const Box& box, double x, double y, double z);

// Each box's faces split into n × n quads (two triangles each), outward counter-clockwise, with vertex
// colours.
tovarine::ModelMesh mesh(const std::vector<Box>& boxes, int n);

// `count` pinhole cameras on a ring of `radius` at `height`, looking at `target`, each `width` × `height` px.
std::vector<tovarine::TextureBaker::Camera> ring(int count, double radius, double height,
                                                 std::array<double, 3> target, int widthPx, int heightPx);

// The frame a camera sees of the boxes (background black).
QImage render(const std::vector<Box>& boxes, const tovarine::TextureBaker::Camera& camera);

// Texture colour (0...1) at texture coordinates (s, t), nearest texel.
std::array<double, 3> sample(const QImage& texture, double s, double t);

} // namespace scene
