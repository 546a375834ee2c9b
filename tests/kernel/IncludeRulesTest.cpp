// The kernel files must not depend on Qt, directly or through the project headers they include.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
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

}  // namespace
