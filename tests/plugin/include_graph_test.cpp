// The plug-in's files form layers: a file never reaches, through the headers it includes, a
// file that includes it. Each source and its header count as one part ("tick" is tick.h and
// tick.cpp), so a cycle through two .cpp files is found as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Graph = std::map<std::string, std::set<std::string>>;

fs::path pluginDir()
{
    const char *dir = std::getenv("DURVO_SOURCE_DIR");
    fs::path root = dir ? fs::path(dir) : fs::path(__FILE__).parent_path().parent_path().parent_path();
    return root / "plugin";
}

Graph readIncludes(const fs::path &dir)
{
    Graph graph;
    const std::regex include(R"(^\s*#\s*include\s+"([^"]+)\.h")");
    for (const auto &entry : fs::directory_iterator(dir)) {
        std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        std::string part = entry.path().stem().string();
        graph[part];
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            if (std::regex_search(line, match, include) && match[1] != part) graph[part].insert(match[1]);
        }
    }
    return graph;
}

// The first cycle found, as "a -> b -> a", or empty.
std::string findCycle(const Graph &graph)
{
    std::map<std::string, int> state;   // 0 unvisited, 1 on the path, 2 done
    std::vector<std::string> path;
    std::string cycle;
    auto visit = [&](auto &self, const std::string &part) -> void {
        state[part] = 1;
        path.push_back(part);
        auto found = graph.find(part);
        for (const std::string &next : found == graph.end() ? std::set<std::string>{} : found->second) {
            if (!cycle.empty()) break;
            if (state[next] == 1) {
                auto from = std::find(path.begin(), path.end(), next);
                for (auto it = from; it != path.end(); ++it) cycle += *it + " -> ";
                cycle += next;
            } else if (state[next] == 0) {
                self(self, next);
            }
        }
        path.pop_back();
        state[part] = 2;
    };
    for (const auto &[part, includes] : graph)
        if (cycle.empty() && state[part] == 0) visit(visit, part);
    return cycle;
}

}   // namespace

TEST(IncludeGraph, PluginPartsIncludeEachOtherWithoutCycles)
{
    Graph graph = readIncludes(pluginDir());
    ASSERT_TRUE(graph.count("tick") && graph.count("item_window")) << pluginDir();
    EXPECT_EQ(findCycle(graph), "");
    // The finder itself: the module's globals back in the window procedure's file tie a knot.
    graph["module"].insert("item_window");
    EXPECT_NE(findCycle(graph).find("module -> item_window"), std::string::npos) << findCycle(graph);
}
