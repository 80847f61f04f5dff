// The campaign file (TOML): every key read by name, every error naming the file, the line and the key.
#include <glob.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

namespace fs = std::filesystem;

constexpr double kSecondsPerMinute = 60;

class Reader {
public:
    explicit Reader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void fail(const toml::node* node, const std::string& key, const std::string& what) const {
        const long line = node ? static_cast<long>(node->source().begin.line) : 0;
        throw CampaignError(file_ + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": key " + key + ": " +
                            what);
    }

    std::optional<std::string> text(const toml::table& table, const std::string& key, const std::string& path) const {
        const toml::node* node = table.get(key);
        if (!node) return std::nullopt;
        if (!node->is_string()) fail(node, path, "expected a string in quotes");
        return node->value<std::string>();
    }

    std::optional<double> number(const toml::table& table, const std::string& key, const std::string& path,
                                 double low, double high) const {
        const toml::node* node = table.get(key);
        if (!node) return std::nullopt;
        if (!node->is_number()) fail(node, path, "expected a number");
        const double value = *node->value<double>();
        if (!(value >= low && value <= high))
            fail(node, path, "value " + std::to_string(value) + " outside " + std::to_string(low) + " .. " +
                                 std::to_string(high));
        return value;
    }

    std::vector<std::string> texts(const toml::table& table, const std::string& key, const std::string& path) const {
        std::vector<std::string> out;
        const toml::node* node = table.get(key);
        if (!node) return out;
        if (node->is_string()) return {*node->value<std::string>()};
        const toml::array* array = node->as_array();
        if (!array) fail(node, path, "expected a string or a list of strings");
        for (const toml::node& item : *array) {
            if (!item.is_string()) fail(&item, path, "expected a list of strings");
            out.push_back(*item.value<std::string>());
        }
        return out;
    }

    Vec3 triple(const toml::table& table, const std::string& key, const std::string& path, bool positive) const {
        const toml::node* node = table.get(key);
        if (!node) fail(table.get(key), path, "missing");
        if (positive && node->is_number()) {
            const double v = *node->value<double>();
            if (!(v > 0)) fail(node, path, "expected a positive number");
            return {v, v, v};
        }
        const toml::array* array = node->as_array();
        if (!array || array->size() != 3) fail(node, path, "expected three numbers [X, Y, Z]");
        Vec3 out{};
        for (size_t k = 0; k < 3; ++k) {
            const toml::node* item = array->get(k);
            if (!item->is_number()) fail(item, path, "expected three numbers [X, Y, Z]");
            out[k] = *item->value<double>();
            if (!std::isfinite(out[k]) || (positive && !(out[k] > 0)))
                fail(item, path, positive ? "expected positive numbers" : "expected finite numbers");
        }
        return out;
    }

    const toml::table* table(const toml::table& parent, const std::string& key, const std::string& path) const {
        const toml::node* node = parent.get(key);
        if (!node) return nullptr;
        if (!node->is_table()) fail(node, path, "expected a table [" + path + "]");
        return node->as_table();
    }

    // Fails on a key that is not one of `known`: a misspelt key must not be ignored silently.
    void onlyKnown(const toml::table& table, const std::string& prefix, std::initializer_list<const char*> known) const {
        for (const auto& [key, node] : table) {
            const std::string name(key.str());
            if (std::none_of(known.begin(), known.end(), [&](const char* k) { return name == k; }))
                fail(&node, prefix + name, "not a key of this table");
        }
    }

    const std::string& file() const { return file_; }

private:
    std::string file_;
};

std::string resolve(const std::string& directory, const std::string& path) {
    const fs::path p(path);
    return (p.is_absolute() ? p : fs::path(directory) / p).lexically_normal().string();
}

std::vector<std::string> expandGlob(const std::string& pattern) {
    glob_t found{};
    std::vector<std::string> out;
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0)
        for (size_t k = 0; k < found.gl_pathc; ++k) out.push_back(found.gl_pathv[k]);
    globfree(&found);
    std::sort(out.begin(), out.end());
    return out;
}

AntennaOffset readAntenna(const Reader& r, const toml::table& t, const std::string& path, AntennaOffset base) {
    base.up = r.number(t, "up", path + ".up", -100, 100).value_or(base.up);
    base.aux = r.number(t, "aux", path + ".aux", -100, 100).value_or(base.aux);
    base.north = r.number(t, "north", path + ".north", -100, 100).value_or(base.north);
    base.east = r.number(t, "east", path + ".east", -100, 100).value_or(base.east);
    return base;
}

void readControls(const Reader& r, const toml::table& root, Campaign& c) {
    const toml::table* control = r.table(root, "control", "control");
    if (!control) return;
    r.onlyKnown(*control, "control.", {"held", "pos", "pos_sigma_m", "sinex", "stations"});
    std::vector<ControlStation> found;
    if (auto pos = r.text(*control, "pos", "control.pos")) {
        if (!control->get("pos_sigma_m"))
            r.fail(control->get("pos"), "control.pos_sigma_m", "missing: the sigmas of the pos file's stations");
        const Vec3 sigma = r.triple(*control, "pos_sigma_m", "control.pos_sigma_m", true);
        for (auto& s : readControlPos(resolve(c.directory, *pos), sigma)) found.push_back(s);
    }
    if (auto sinex = r.text(*control, "sinex", "control.sinex"))
        for (auto& s : readControlSinex(resolve(c.directory, *sinex))) found.push_back(s);
    if (const toml::table* stations = r.table(*control, "stations", "control.stations")) {
        for (const auto& [key, node] : *stations) {
            const std::string id(key.str()), path = "control.stations." + id;
            if (!node.is_table()) r.fail(&node, path, "expected a table");
            const toml::table& t = *node.as_table();
            r.onlyKnown(t, path + ".", {"xyz_m", "sigma_m"});
            if (id.empty() || id.size() > 4) r.fail(&node, path, "a station id has 1 to 4 characters");
            found.push_back({id, r.triple(t, "xyz_m", path + ".xyz_m", false),
                             r.triple(t, "sigma_m", path + ".sigma_m", true)});
        }
    }
    for (auto& s : found) c.controls[s.id] = s;  // later sources win: inline over SINEX over pos
    c.held = r.text(*control, "held", "control.held").value_or("");
    if (!c.held.empty() && !c.controls.count(c.held))
        r.fail(control->get("held"), "control.held", "station " + c.held + " is not among the control stations");
    if (c.held.empty() && !c.controls.empty()) c.held = c.controls.begin()->first;
}

// The occupations of the files, each read once: a file whose path, size and time match its line in the cache of the
// work folder is taken from there (reading the last epoch means reading the whole file).
std::vector<Occupation> readOccupations(const std::set<std::string>& files, const std::string& workDirectory) {
    const fs::path cachePath = fs::path(workDirectory) / "occupations.cache";
    std::map<std::string, std::string> cached;  // "path size time" -> the rest of its line
    std::ifstream in(cachePath);
    for (std::string line; std::getline(in, line);) {
        const size_t split = line.find('\t');
        if (split != std::string::npos) cached[line.substr(0, split)] = line.substr(split + 1);
    }
    std::vector<Occupation> out;
    std::string cache;
    for (const auto& f : files) {
        std::error_code error;
        const auto size = fs::file_size(f, error);
        const auto time = fs::last_write_time(f, error).time_since_epoch().count();
        const std::string key = f + " " + std::to_string(size) + " " + std::to_string(time);
        Occupation o;
        o.path = f;
        const auto hit = cached.find(key);
        std::istringstream fields(hit != cached.end() ? hit->second : "");
        if (!(fields >> o.station >> o.start >> o.end >> o.approx[0] >> o.approx[1] >> o.approx[2] >> o.antenna.up >>
              o.antenna.aux >> o.antenna.north >> o.antenna.east))
            o = readOccupation(f);
        std::ostringstream line;
        line.precision(17);
        line << key << '\t' << o.station << ' ' << o.start << ' ' << o.end << ' ' << o.approx[0] << ' ' << o.approx[1]
             << ' ' << o.approx[2] << ' ' << o.antenna.up << ' ' << o.antenna.aux << ' ' << o.antenna.north << ' '
             << o.antenna.east << '\n';
        cache += line.str();
        out.push_back(o);
    }
    std::error_code ignored;
    fs::create_directories(workDirectory, ignored);
    std::ofstream(cachePath, std::ios::trunc) << cache;  // a cache that cannot be written costs time only
    return out;
}

}  // namespace

Campaign readCampaign(const std::string& path, const std::string& crsOverride) {
    Campaign c;
    c.file = fs::absolute(path).lexically_normal().string();
    c.directory = fs::path(c.file).parent_path().string();
    Reader r(c.file);
    toml::table root;
    try {
        root = toml::parse_file(c.file);
    } catch (const toml::parse_error& e) {
        throw CampaignError(c.file + ":" + std::to_string(e.source().begin.line) + ": " +
                            std::string(e.description()));
    }
    r.onlyKnown(root, "", {"name", "work_directory", "observations", "orbits", "navigation", "varno", "varno_options",
                           "min_overlap_minutes", "baselines", "variance_factor", "w_critical", "ellipse_scale",
                           "crs", "control", "antenna", "occupation"});
    c.name = r.text(root, "name", "name").value_or(fs::path(c.file).stem().string());
    c.workDirectory = resolve(c.directory, r.text(root, "work_directory", "work_directory")
                                               .value_or(fs::path(c.file).stem().string() + "-work"));
    for (const auto& o : r.texts(root, "orbits", "orbits")) c.orbits.push_back(resolve(c.directory, o));
    for (const auto& o : r.texts(root, "navigation", "navigation")) c.navs.push_back(resolve(c.directory, o));
    c.varno = r.text(root, "varno", "varno").value_or(c.varno);
    c.varnoOptions = r.texts(root, "varno_options", "varno_options");
    c.minOverlap = r.number(root, "min_overlap_minutes", "min_overlap_minutes", 0, 1e6).value_or(30) *
                   kSecondsPerMinute;
    if (auto b = r.text(root, "baselines", "baselines")) {
        if (*b != "tree" && *b != "all") r.fail(root.get("baselines"), "baselines", "expected \"tree\" or \"all\"");
        c.allPairs = *b == "all";
    }
    c.varianceFactor = r.number(root, "variance_factor", "variance_factor", 1e-6, 1e6).value_or(1);
    c.wCritical = r.number(root, "w_critical", "w_critical", 0.1, 100).value_or(3.29);
    c.ellipseScale = r.number(root, "ellipse_scale", "ellipse_scale", 0, 1e9).value_or(0);
    c.crs = crsOverride.empty() ? r.text(root, "crs", "crs").value_or("") : crsOverride;
    readControls(r, root, c);

    const std::vector<std::string> patterns = r.texts(root, "observations", "observations");
    if (patterns.empty()) r.fail(nullptr, "observations", "missing: the observation files (globs allowed)");
    std::set<std::string> files;
    for (const auto& p : patterns) {
        const std::vector<std::string> matched = expandGlob(resolve(c.directory, p));
        if (matched.empty()) r.fail(root.get("observations"), "observations", "\"" + p + "\" matches no file");
        files.insert(matched.begin(), matched.end());
    }
    c.occupations = readOccupations(files, c.workDirectory);

    // Antenna offsets: the header's, replaced by the station's table, replaced by the file's own entry.
    if (const toml::table* antenna = r.table(root, "antenna", "antenna")) {
        for (const auto& [key, node] : *antenna) {
            const std::string id(key.str()), p = "antenna." + id;
            if (!node.is_table()) r.fail(&node, p, "expected a table");
            r.onlyKnown(*node.as_table(), p + ".", {"up", "aux", "north", "east"});
            bool used = false;
            for (auto& o : c.occupations)
                if (o.station == id) {
                    o.antenna = readAntenna(r, *node.as_table(), p, AntennaOffset{});
                    used = true;
                }
            if (!used) r.fail(&node, p, "no observation file of station " + id);
        }
    }
    if (const toml::node* list = root.get("occupation")) {
        const toml::array* array = list->as_array();
        if (!array) r.fail(list, "occupation", "expected [[occupation]] tables");
        for (const toml::node& item : *array) {
            if (!item.is_table()) r.fail(&item, "occupation", "expected [[occupation]] tables");
            const toml::table& t = *item.as_table();
            r.onlyKnown(t, "occupation.", {"file", "up", "aux", "north", "east"});
            const auto file = r.text(t, "file", "occupation.file");
            if (!file) r.fail(&item, "occupation.file", "missing");
            const std::string full = resolve(c.directory, *file);
            auto o = std::find_if(c.occupations.begin(), c.occupations.end(),
                                  [&](const Occupation& x) { return x.path == full; });
            if (o == c.occupations.end())
                r.fail(t.get("file"), "occupation.file", *file + " is not one of the observation files");
            o->antenna = readAntenna(r, t, "occupation", AntennaOffset{});
        }
    }
    return c;
}

}  // namespace varno::campaign
