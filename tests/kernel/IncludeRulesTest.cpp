// The include rules of the tree: the kernel knows nothing of Qt, and no file includes from a
// folder above its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSourceRoot = fs::path(KORVO_TEST_DATA).parent_path().parent_path();

bool IsIdentifier(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isalnum(c); });
}

// QString, QtCore/QPointF, QtGui, qglobal.h and the like (a plain q*.h would count too).
bool IsQtHeader(std::string_view name) {
    if (name.size() > 2 && name.substr(0, 2) == "Qt") {
        const size_t slash = name.find('/');
        const std::string_view module =
            name.substr(2, slash == std::string_view::npos ? name.npos : slash - 2);
        if (IsIdentifier(module) &&
            (slash != std::string_view::npos || std::isupper((unsigned char)module[0])))
            return true;
    }
    if (name.size() > 1 && name[0] == 'Q' && std::isupper((unsigned char)name[1]) &&
        IsIdentifier(name))
        return true;
    if (name.size() > 3 && name[0] == 'q' && name.substr(name.size() - 2) == ".h") {
        const std::string_view stem = name.substr(1, name.size() - 3);
        return !stem.empty() && std::all_of(stem.begin(), stem.end(), [](unsigned char c) {
            return std::islower(c) || std::isdigit(c) || c == '_';
        });
    }
    return false;
}

// The header named by an #include line and whether it is in quotes; false for other lines.
bool IncludedHeader(const std::string& line, std::string& name, bool& quoted) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') return false;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0) return false;
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos || (line[i] != '"' && line[i] != '<')) return false;
    quoted = line[i] == '"';
    const size_t end = line.find(quoted ? '"' : '>', i + 1);
    if (end == std::string::npos) return false;
    name = line.substr(i + 1, end - i - 1);
    return true;
}

// Collects the Qt headers that `file` includes, following project headers included in quotes.
void ScanIncludes(const fs::path& file, std::set<fs::path>& seen, std::vector<std::string>& qt) {
    if (!seen.insert(fs::weakly_canonical(file)).second) return;
    std::ifstream in(file);
    std::string line, name;
    bool quoted = false;
    while (std::getline(in, line)) {
        if (!IncludedHeader(line, name, quoted)) continue;
        if (IsQtHeader(name)) qt.push_back(file.filename().string() + ": " + name);
        if (!quoted) continue;
        for (const fs::path& base : {file.parent_path(), kSourceRoot})
            if (fs::exists(base / name)) {
                ScanIncludes(base / name, seen, qt);
                break;
            }
    }
}

TEST(KernelPurity, TheHeaderPatternRecognisesQtHeadersOnly) {
    for (const char* name : {"QString", "QtCore/QPointF", "QtGui", "qglobal.h", "QPainter"})
        EXPECT_TRUE(IsQtHeader(name)) << name;
    for (const char* name : {"cmath", "kernel/Elements.h", "kernel/Mcalc.h", "cfenv", "queue",
                             "quadmath.h2", "Qt", "Qtx.h"})
        EXPECT_FALSE(IsQtHeader(name)) << name;

    std::string name;
    bool quoted = false;
    ASSERT_TRUE(IncludedHeader("  #  include <QString>", name, quoted));
    EXPECT_EQ(name, "QString");
    EXPECT_FALSE(quoted);
    ASSERT_TRUE(IncludedHeader("#include \"kernel/Elements.h\"  // records", name, quoted));
    EXPECT_EQ(name, "kernel/Elements.h");
    EXPECT_TRUE(quoted);
    EXPECT_FALSE(IncludedHeader("// #include <QString>", name, quoted));
    EXPECT_FALSE(IncludedHeader("#define include <QString>", name, quoted));
}

bool IsSource(const fs::path& file) {
    const fs::path ext = file.extension();
    return ext == ".h" || ext == ".cpp";
}

TEST(KernelPurity, NoKernelFileIncludesAQtHeader) {
    const fs::path kernel = kSourceRoot / "kernel";
    ASSERT_TRUE(fs::is_directory(kernel)) << kernel;
    std::vector<std::string> kernelFiles, qt;
    std::set<fs::path> seen;
    for (const auto& entry : fs::directory_iterator(kernel)) {
        const std::string name = entry.path().filename().string();
        if (!IsSource(entry.path())) continue;
        kernelFiles.push_back(name);
        ScanIncludes(entry.path(), seen, qt);
    }
    // Guards against scanning an empty or wrong folder.
    for (const char* expected : {"Mcalc.h", "Mcalc.cpp", "Mline.h", "Mline.cpp", "Mcircle.h",
                                 "Elements.h", "UserPrompts.h"})
        EXPECT_NE(std::find(kernelFiles.begin(), kernelFiles.end(), expected), kernelFiles.end())
            << expected;
    EXPECT_TRUE(qt.empty()) << ::testing::PrintToString(qt);
}

// The folders of the program, each using only those before it here. The session layer and
// TMan2Man (net) stand beside them: only the window and the entry point use them, and they
// use nothing of the program but the prompt seam, so that they know nothing of drawings.
// tests/ and bench/ mirror the folders and follow the same rules; their support/ folders
// serve every level.
const std::vector<std::string> kLayers = {"kernel", "model", "files", "render",
                                          "edit",   "window", "app"};

int Rank(const std::string& role) {
    const auto it = std::find(kLayers.begin(), kLayers.end(), role);
    return it == kLayers.end() ? -1 : int(it - kLayers.begin());
}

// The folder a file belongs to: its top folder, or under tests/ and bench/ the mirrored one.
std::string Role(const fs::path& relative) {
    auto it = relative.begin();
    if (it == relative.end()) return {};
    std::string top = it->string();
    if ((top == "tests" || top == "bench") && ++it != relative.end() &&
        std::next(it) != relative.end())
        return it->string();
    return top;
}

// Whether the file at `from` may include the project file at `to`, both relative to the root.
bool MayInclude(const fs::path& from, const fs::path& to) {
    const std::string a = Role(from), b = Role(to);
    if (a == b || a == "support" || b == "support") return true;
    if (b == "net") return a == "window" || a == "app";
    if (a == "net") return to == fs::path("kernel/UserPrompts.h");
    return Rank(a) >= 0 && Rank(b) >= 0 && Rank(b) <= Rank(a);
}

TEST(Layering, TheRulesLetEachFolderUseOnlyThoseBelowIt) {
    struct Row {
        const char* from;
        const char* to;
        bool allowed;
    };
    for (const Row& r : std::initializer_list<Row>{
             {"model/DrawingStore.cpp", "kernel/Mline.h", true},
             {"model/DrawingStore.cpp", "render/Renderer.h", false},
             {"files/DxfReader.cpp", "model/DrawingStore.h", true},
             {"files/DxfReader.cpp", "render/Canvas.h", false},
             {"render/Renderer.cpp", "files/ShiftJis.h", true},
             {"edit/Picking.cpp", "render/Renderer.h", true},
             {"edit/Picking.cpp", "window/TForm1.h", false},
             {"edit/Picking.cpp", "net/TMan2Man.h", false},
             {"window/TForm1.h", "net/TMan2Man.h", true},
             {"app/main.cpp", "window/TForm1.h", true},
             {"kernel/Mline.h", "model/DrawingStore.h", false},
             {"net/TMan2Man.cpp", "kernel/UserPrompts.h", true},
             {"net/TMan2Man.cpp", "kernel/Elements.h", false},
             {"net/TMan2Man.cpp", "model/DrawingStore.h", false},
             {"tests/model/test_StoreSearch.cpp", "render/Renderer.h", false},
             {"tests/render/test_StoreSearchRedraw.cpp", "tests/model/RandomChanges.h", true},
             {"tests/files/test_DxfReader.cpp", "tests/support/ScriptedPrompts.h", true},
             {"tests/net/test_TMan2ManUnit.cpp", "tests/window/test_TForm1Fixture.h", false},
             {"bench/window/bench_share.cpp", "tests/net/test_TMan2ManDriver.h", true},
             {"bench/files/bench_files.cpp", "bench/support/FloorPlan.h", true},
             {"window/TForm1.cpp", "app/CommandLine.h", false},
             {"window/TForm1.cpp", "scripts/x.h", false}})
        EXPECT_EQ(MayInclude(r.from, r.to), r.allowed) << r.from << " includes " << r.to;
}

TEST(Layering, NoFileIncludesFromAFolderAboveItsOwn) {
    std::vector<std::string> wrong;
    int scanned = 0;
    for (const char* top : {"kernel", "model", "files", "render", "edit", "window", "net", "app",
                            "tests", "bench"}) {
        ASSERT_TRUE(fs::is_directory(kSourceRoot / top)) << top;
        for (const auto& entry : fs::recursive_directory_iterator(kSourceRoot / top)) {
            if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
            const fs::path from = fs::relative(entry.path(), kSourceRoot);
            if (*from.begin() == "tests" && Role(from) == "data") continue;
            ++scanned;
            std::ifstream in(entry.path());
            std::string line, name;
            bool quoted = false;
            while (std::getline(in, line)) {
                if (!IncludedHeader(line, name, quoted) || !quoted) continue;
                fs::path to = from.parent_path() / name;
                if (!fs::exists(kSourceRoot / to)) to = name;
                if (!fs::exists(kSourceRoot / to)) continue;
                to = fs::relative(fs::weakly_canonical(kSourceRoot / to), kSourceRoot);
                if (!MayInclude(from, to)) wrong.push_back(from.string() + ": " + to.string());
            }
        }
    }
    EXPECT_GT(scanned, 150);  // the whole tree, not an empty or wrong folder
    EXPECT_TRUE(wrong.empty()) << ::testing::PrintToString(wrong);
}

}  // namespace
