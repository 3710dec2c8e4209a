#include "DenseWorkspace.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <limits>
#include <map>
#include <numbers>
#include <sstream>
#include <unordered_map>

namespace tovarine::stereo {
namespace {

namespace fs = std::filesystem;

struct Frame {
    int id = 0;
    int cameraId = 0;
    std::string name;
    PinholeCamera camera;
    std::vector<long long> pointIds; // sparse points seen, one per observation
};

struct Point {
    V3 position;
    std::vector<int> imageIds;
};

bool nextDataLine(std::istream& in, std::string& line)
{
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            return true;
        }
    }
    return false;
}

M3 fromQuaternion(double w, double x, double y, double z)
{
    const double n = std::sqrt(w * w + x * x + y * y + z * z);
    w /= n, x /= n, y /= n, z /= n;
    return M3{{float(1 - 2 * (y * y + z * z)), float(2 * (x * y - w * z)), float(2 * (x * z + w * y)),
               float(2 * (x * y + w * z)), float(1 - 2 * (x * x + z * z)), float(2 * (y * z - w * x)),
               float(2 * (x * z - w * y)), float(2 * (y * z + w * x)), float(1 - 2 * (x * x + y * y))}};
}

std::string readModel(const fs::path& sparse, std::vector<Frame>& frames, std::unordered_map<long long, Point>& points)
{
    std::map<int, PinholeCamera> cameras;
    std::ifstream cameraFile(sparse / "cameras.txt");
    std::ifstream imageFile(sparse / "images.txt");
    std::ifstream pointFile(sparse / "points3D.txt");
    if (!cameraFile || !imageFile || !pointFile) {
        return "the undistorted model is missing from " + sparse.string();
    }
    std::string line;
    while (nextDataLine(cameraFile, line)) {
        std::istringstream in(line);
        int id = 0;
        std::string model;
        PinholeCamera camera;
        in >> id >> model >> camera.width >> camera.height >> camera.fx >> camera.fy >> camera.cx >> camera.cy;
        if (!in || model != "PINHOLE" || camera.width <= 0 || camera.height <= 0) {
            return "unexpected camera in the undistorted model: " + line;
        }
        cameras[id] = camera;
    }
    while (nextDataLine(imageFile, line)) {
        std::istringstream in(line);
        Frame frame;
        double qw, qx, qy, qz, tx, ty, tz;
        in >> frame.id >> qw >> qx >> qy >> qz >> tx >> ty >> tz >> frame.cameraId;
        std::getline(in >> std::ws, frame.name);
        if (!in.eof() && !in) {
            return "unreadable frame line in the undistorted model: " + line;
        }
        const auto camera = cameras.find(frame.cameraId);
        if (camera == cameras.end() || frame.name.empty()) {
            return "a frame of the undistorted model has no camera: " + line;
        }
        frame.camera = camera->second;
        frame.camera.rotation = fromQuaternion(qw, qx, qy, qz);
        frame.camera.translation = V3{float(tx), float(ty), float(tz)};
        std::string observations;
        std::getline(imageFile, observations);
        std::istringstream obs(observations);
        double u, v;
        long long pointId;
        while (obs >> u >> v >> pointId) {
            if (pointId >= 0) {
                frame.pointIds.push_back(pointId);
            }
        }
        frames.push_back(std::move(frame));
    }
    while (nextDataLine(pointFile, line)) {
        std::istringstream in(line);
        long long id;
        double x, y, z, error;
        int r, g, b;
        in >> id >> x >> y >> z >> r >> g >> b >> error;
        Point point{V3{float(x), float(y), float(z)}, {}};
        int imageId, index;
        while (in >> imageId >> index) {
            point.imageIds.push_back(imageId);
        }
        points.emplace(id, std::move(point));
    }
    return {};
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

bool loadGrey(const fs::path& path, GreyImage& image)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JpegError*>(common->err)->jump, 1);
    };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    image.width = int(info.output_width);
    image.height = int(info.output_height);
    image.pixels.resize(std::size_t(image.width) * std::size_t(image.height));
    std::vector<JSAMPLE> row(info.output_width);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const std::size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < image.width; ++x) {
            image.pixels[y * std::size_t(image.width) + std::size_t(x)] = float(row[std::size_t(x)]) / 255.0f;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// Source frames of each frame: the ones sharing the most sparse points seen at a useful angle (a few degrees
// up to about forty: nearly parallel rays say little about depth, very oblique views match badly).
std::vector<std::vector<int>> chooseSources(const std::vector<Frame>& frames,
                                            const std::unordered_map<long long, Point>& points, int count)
{
    std::unordered_map<int, int> indexOf;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        indexOf[frames[i].id] = int(i);
    }
    std::vector<V3> centres;
    for (const Frame& frame : frames) {
        centres.push_back(frame.camera.centre());
    }
    std::vector<std::vector<int>> sources(frames.size());
    for (std::size_t r = 0; r < frames.size(); ++r) {
        std::vector<double> score(frames.size(), 0.0);
        for (const long long id : frames[r].pointIds) {
            const auto point = points.find(id);
            if (point == points.end()) {
                continue;
            }
            const V3 toRef = normalized(centres[r] - point->second.position);
            for (const int imageId : point->second.imageIds) {
                const auto s = indexOf.find(imageId);
                if (s == indexOf.end() || std::size_t(s->second) == r) {
                    continue;
                }
                const V3 toSource = normalized(centres[std::size_t(s->second)] - point->second.position);
                const double angle = std::acos(std::clamp(double(dot(toRef, toSource)), -1.0, 1.0)) * 180.0
                                     / std::numbers::pi;
                score[std::size_t(s->second)] += std::min(angle / 5.0, 1.0) * (angle < 40.0 ? 1.0 : 0.3);
            }
        }
        std::vector<int> order;
        for (std::size_t s = 0; s < frames.size(); ++s) {
            if (score[s] > 0) {
                order.push_back(int(s));
            }
        }
        std::sort(order.begin(), order.end(), [&](int a, int b) { return score[std::size_t(a)] > score[std::size_t(b)]; });
        order.resize(std::min<std::size_t>(order.size(), std::size_t(std::max(count, 1))));
        sources[r] = order;
    }
    return sources;
}

std::vector<SparseDepth> sparseDepths(const Frame& frame, const std::unordered_map<long long, Point>& points)
{
    std::vector<SparseDepth> result;
    for (const long long id : frame.pointIds) {
        const auto point = points.find(id);
        if (point == points.end()) {
            continue;
        }
        const V3 c = frame.camera.toCamera(point->second.position);
        if (c.z <= 0) {
            continue;
        }
        const float u = frame.camera.fx * c.x / c.z + frame.camera.cx;
        const float v = frame.camera.fy * c.y / c.z + frame.camera.cy;
        if (u >= 0 && v >= 0 && u < float(frame.camera.width) && v < float(frame.camera.height)) {
            result.push_back({u, v, c.z});
        }
    }
    return result;
}

// Narrows a frame's pixels and depth range to the image of the region's points, when all lie in front of it.
void restrictToRegion(const PinholeCamera& camera, const std::vector<V3>& region, PatchMatchOptions& options)
{
    if (region.empty()) {
        return;
    }
    float left = std::numeric_limits<float>::max(), top = left, nearest = left;
    float right = std::numeric_limits<float>::lowest(), bottom = right, farthest = right;
    for (const V3& point : region) {
        const V3 c = camera.toCamera(point);
        if (!(c.z > 0)) {
            return;
        }
        const float u = camera.fx * c.x / c.z + camera.cx;
        const float v = camera.fy * c.y / c.z + camera.cy;
        left = std::min(left, u), right = std::max(right, u);
        top = std::min(top, v), bottom = std::max(bottom, v);
        nearest = std::min(nearest, c.z), farthest = std::max(farthest, c.z);
    }
    auto pixel = [](float value, int size) {
        return int(std::clamp(std::floor(value), -1.0f, float(size) + 1.0f));
    };
    options.region = {pixel(left, camera.width), pixel(top, camera.height), pixel(right, camera.width) + 1,
                      pixel(bottom, camera.height) + 1};
    // The box's depths, where they narrow the sparse points' range without emptying it.
    const float minDepth = std::max(options.minDepth, nearest);
    const float maxDepth = std::min(options.maxDepth, farthest);
    if (maxDepth > minDepth) {
        options.minDepth = minDepth;
        options.maxDepth = maxDepth;
    }
}

} // namespace

bool writeColmapArray(const std::string& path, int width, int height, int channels, const std::vector<float>& planar)
{
    const fs::path target(path);
    const fs::path partial = target.string() + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << width << '&' << height << '&' << channels << '&';
        out.write(reinterpret_cast<const char*>(planar.data()), std::streamsize(planar.size() * sizeof(float)));
        if (!out) {
            return false;
        }
    }
    std::error_code error;
    fs::rename(partial, target, error);
    return !error;
}

bool readColmapArray(const std::string& path, int& width, int& height, int& channels, std::vector<float>& planar)
{
    std::ifstream in(path, std::ios::binary);
    char separator = 0;
    in >> width >> separator >> height >> separator >> channels >> separator;
    if (!in || width <= 0 || height <= 0 || channels <= 0 || width > 100000 || height > 100000 || channels > 4) {
        return false;
    }
    // The header's size must match what the file holds before anything is allocated for it.
    const std::size_t values = std::size_t(width) * std::size_t(height) * std::size_t(channels);
    const std::streamoff start = in.tellg();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (start < 0 || end < start || std::size_t(end - start) != values * sizeof(float)) {
        return false;
    }
    in.seekg(start);
    planar.resize(values);
    in.read(reinterpret_cast<char*>(planar.data()), std::streamsize(planar.size() * sizeof(float)));
    return bool(in);
}

std::string computeWorkspaceMaps(const std::string& workspace, const DenseOptions& options, DenseReport& report,
                                 const DenseControl& control)
{
    const fs::path root(workspace);
    std::vector<Frame> frames;
    std::unordered_map<long long, Point> points;
    if (std::string error = readModel(root / "sparse", frames, points); !error.empty()) {
        return error;
    }
    report.frames = int(frames.size());
    auto cancelled = [&] { return control.cancel && control.cancel->load(); };

    std::vector<StereoView> views(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        views[i].camera = frames[i].camera;
        if (!loadGrey(root / "images" / frames[i].name, views[i].image) || views[i].image.width != frames[i].camera.width
            || views[i].image.height != frames[i].camera.height) {
            return "could not read the undistorted frame " + frames[i].name;
        }
        if (cancelled()) {
            return "cancelled";
        }
    }
    const std::vector<std::vector<int>> sources = chooseSources(frames, points, options.sourceViews);

    // Which frames take part: enough sparse points for a depth range, and at least one source.
    std::vector<PatchMatchOptions> perFrame(frames.size(), options.patchMatch);
    std::vector<std::vector<SparseDepth>> sparse(frames.size());
    std::vector<bool> active(frames.size(), false);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        sparse[i] = sparseDepths(frames[i], points);
        if (int(sparse[i].size()) < options.minSparsePoints || sources[i].empty()) {
            report.skipped.push_back(frames[i].name + ": too few sparse points or no frame to compare with");
            continue;
        }
        std::vector<float> depths;
        for (const SparseDepth& d : sparse[i]) {
            depths.push_back(d.depth);
        }
        std::sort(depths.begin(), depths.end());
        perFrame[i].minDepth = depths[depths.size() / 100] * 0.75f;
        perFrame[i].maxDepth = depths[depths.size() - 1 - depths.size() / 100] * 1.25f;
        restrictToRegion(frames[i].camera, options.region, perFrame[i]);
        perFrame[i].threads = options.threads;
        perFrame[i].seed = options.patchMatch.seed + i;
        active[i] = true;
    }
    auto sourceViews = [&](std::size_t i) {
        std::vector<const StereoView*> list;
        for (const int s : sources[i]) {
            list.push_back(&views[std::size_t(s)]);
        }
        return list;
    };
    auto sourceMaps = [&](std::size_t i, const std::vector<DepthNormalMap>& maps) {
        std::vector<const DepthNormalMap*> list;
        for (const int s : sources[i]) {
            list.push_back(&maps[std::size_t(s)]);
        }
        return list;
    };
    const double steps = 2.0 * double(std::max<std::size_t>(frames.size(), 1)) + 1.0;
    double done = 0;
    auto stepProgress = [&](double within) {
        if (control.progress) {
            control.progress(std::min(1.0, (done + within) / steps));
        }
    };

    // Photometric pass for every frame, then the geometric pass against the others' photometric maps.
    std::vector<DepthNormalMap> photometric(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i, done += 1) {
        if (active[i]) {
            photometric[i] = estimateDepthNormal(views[i], sourceViews(i), sparse[i], perFrame[i], {}, nullptr,
                                                 {stepProgress, control.cancel});
        }
        if (cancelled()) {
            return "cancelled";
        }
    }
    std::vector<DepthNormalMap> geometric(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i, done += 1) {
        if (active[i]) {
            PatchMatchOptions pass = perFrame[i];
            pass.iterations = std::max(1, options.geometricIterations);
            geometric[i] =
                estimateDepthNormal(views[i], sourceViews(i), sparse[i], pass, sourceMaps(i, photometric),
                                    &photometric[i], {stepProgress, control.cancel});
            photometric[i] = {}; // no longer needed by anyone after this frame's own pass
        }
        if (cancelled()) {
            return "cancelled";
        }
    }

    const fs::path stereo = root / "stereo";
    std::error_code error;
    fs::create_directories(stereo / "depth_maps", error);
    fs::create_directories(stereo / "normal_maps", error);
    std::ofstream fusion(stereo / "fusion.cfg", std::ios::trunc);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!active[i]) {
            continue;
        }
        DepthNormalMap map = geometric[i];
        const std::size_t kept = filterDepthNormal(map, views[i], sourceViews(i), sourceMaps(i, geometric), options.filter);
        if (kept == 0) {
            report.skipped.push_back(frames[i].name + ": no depth survived the consistency check");
            continue;
        }
        const std::size_t n = map.depth.size();
        std::vector<float> normals(3 * n);
        for (std::size_t p = 0; p < n; ++p) {
            normals[p] = map.normal[p].x;
            normals[n + p] = map.normal[p].y;
            normals[2 * n + p] = map.normal[p].z;
        }
        const fs::path depthFile = stereo / "depth_maps" / (frames[i].name + ".geometric.bin");
        const fs::path normalFile = stereo / "normal_maps" / (frames[i].name + ".geometric.bin");
        fs::create_directories(depthFile.parent_path(), error);
        fs::create_directories(normalFile.parent_path(), error);
        if (!writeColmapArray(depthFile.string(), map.width, map.height, 1, map.depth)
            || !writeColmapArray(normalFile.string(), map.width, map.height, 3, normals)) {
            return "could not write the depth maps in " + stereo.string();
        }
        fusion << frames[i].name << '\n';
        report.pixelsKept += kept;
        ++report.mapsWritten;
    }
    fusion.close();
    if (!fusion) {
        return "could not write " + (stereo / "fusion.cfg").string();
    }
    done = steps;
    stepProgress(0);
    return {};
}

} // namespace tovarine::stereo
