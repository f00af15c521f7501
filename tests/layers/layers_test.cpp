// Includes run one way: each folder of src includes only what ARCHITECTURE.md's
// "who may include whom" table allows it. The table is read from the document
// itself, so the document and the code cannot drift apart unnoticed. And each
// folder's code lives in the folder's own namespace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Folder (relative to src, e.g. "tools/cli") -> what it may include: folder
// names ("disk") or single headers ("disk/ima_adpcm.h").
using Rules = std::map<std::string, std::set<std::string>>;

Rules ParseRules(std::istream& in)
{
    Rules rules;
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.find("<!-- layers -->") != std::string::npos) {
            inside = true;
            continue;
        }
        if (line.find("<!-- /layers -->") != std::string::npos)
            break;
        if (!inside)
            continue;
        std::istringstream words(line);
        std::string folder, allowed;
        if (!(words >> folder))
            continue;
        auto& set = rules[folder];
        while (words >> allowed)
            set.insert(allowed);
    }
    return rules;
}

// The rule for a file: the longest folder of the table its path begins with.
const std::set<std::string>* RuleFor(const Rules& rules, const std::string& path)
{
    const std::set<std::string>* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [folder, allowed] : rules) {
        if (path.compare(0, folder.size() + 1, folder + "/") == 0 && folder.size() > bestLength) {
            best = &allowed;
            bestLength = folder.size();
        }
    }
    return best;
}

// The includes of one file that its rule does not allow. Only quoted
// includes of the project's own folders ("disk/...") count.
std::vector<std::string> Violations(const Rules& rules, const std::string& path, std::istream& text)
{
    std::set<std::string> layers;
    for (const auto& [folder, allowed] : rules)
        layers.insert(folder.substr(0, folder.find('/')));
    const std::set<std::string>* allowed = RuleFor(rules, path);
    static const std::regex include(R"(^\s*#\s*include\s*"(([a-z_]+)/[^"]+)\")");
    std::vector<std::string> found;
    std::string line;
    while (std::getline(text, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, include) || !layers.contains(m[2].str()))
            continue;
        if (!allowed || (!allowed->contains(m[2].str()) && !allowed->contains(m[1].str())))
            found.push_back(path + ": " + m[1].str());
    }
    return found;
}

// What check finds in every header and source file of src (paths relative
// to src), one finding a line.
std::string
EverySourceFile(const std::function<std::vector<std::string>(const std::string& path, std::istream& text)>& check)
{
    const fs::path src = fs::path(QUILLON_SOURCE_DIR) / "src";
    std::string listed;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
            continue;
        std::ifstream text(entry.path());
        for (const auto& finding : check(fs::relative(entry.path(), src).generic_string(), text))
            listed += "\n  " + finding;
    }
    return listed;
}

Rules ProjectRules()
{
    std::ifstream doc(fs::path(QUILLON_SOURCE_DIR) / "ARCHITECTURE.md");
    return ParseRules(doc);
}

TEST(Layers, TheTableIsReadAndCoversEveryFolderOfSrc)
{
    const Rules rules = ProjectRules();
    ASSERT_GE(rules.size(), 8u) << "the table between <!-- layers --> markers is missing";
    const fs::path src = fs::path(QUILLON_SOURCE_DIR) / "src";
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file())
            continue;
        const std::string ext = entry.path().extension().string();
        if (ext != ".h" && ext != ".cpp")
            continue;
        const std::string path = fs::relative(entry.path(), src).generic_string();
        EXPECT_NE(RuleFor(rules, path), nullptr) << path << " lies in a folder the table leaves out";
    }
}

TEST(Layers, NoIncludeRunsAgainstTheTable)
{
    const Rules rules = ProjectRules();
    ASSERT_FALSE(rules.empty());
    const std::string listed =
        EverySourceFile([&](const std::string& path, std::istream& text) { return Violations(rules, path, text); });
    EXPECT_TRUE(listed.empty()) << "includes against ARCHITECTURE.md's table:" << listed;
}

// The checker itself: an upward include, a single allowed header, and one
// beside it that is not.
TEST(Layers, TheCheckerCatchesUpwardIncludesAndAllowsNamedHeaders)
{
    std::istringstream doc("x\n<!-- layers -->\n    disk  disk platform\n    tools/mkdisk  tools disk/ima_adpcm.h\n"
                           "<!-- /layers -->\n    ui  ui\n");
    const Rules rules = ParseRules(doc);
    ASSERT_EQ(rules.size(), 2u);
    std::istringstream upward("#include \"disk/a.h\"\n#include <vector>\n  # include \"tools/x.h\"\n");
    const auto v = Violations(rules, "disk/b.cpp", upward);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0], "disk/b.cpp: tools/x.h");
    std::istringstream mkdisk("#include \"disk/ima_adpcm.h\"\n#include \"disk/raw_disk.h\"\n#include \"tools/m.h\"\n");
    const auto m = Violations(rules, "tools/mkdisk/w.cpp", mkdisk);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], "tools/mkdisk/w.cpp: disk/raw_disk.h");
    EXPECT_EQ(RuleFor(rules, "ui/a.cpp"), nullptr);  // past the closing marker
}

// The namespace a folder's code lives in: the folder's last name, except
// src/export, whose name is a keyword.
std::string FolderNamespace(const std::string& path)
{
    const std::string folder = path.substr(0, path.rfind('/'));
    if (folder == "export")
        return "exporter";
    if (folder == "picture/jpeg")
        return "picture::jpeg";
    return folder.substr(folder.rfind('/') + 1);
}

// What in one file lies outside its folder's namespace: a top-level
// namespace of another name holding more than forward declarations, or a
// header declaring things without opening its own. Namespaces are followed
// by their openings and the "}  // namespace" comments that close them.
std::vector<std::string> ForeignNamespaces(const std::string& path, std::istream& text)
{
    const std::string own = FolderNamespace(path);
    static const std::regex open(R"(^\s*namespace ([A-Za-z_][\w:]*) \{)");
    static const std::regex anonymous(R"(^\s*namespace \{)");
    static const std::regex close(R"(^\}\s*// namespace)");
    static const std::regex forward(R"(^\s*((class|struct) \w+;|enum class \w+( : [\w:]+)?;|)\s*(//.*)?$)");
    static const std::regex declaration(R"(^(class|struct|enum|using|inline|constexpr|template)\b)");
    std::vector<std::string> found;
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    int depth = 0;
    bool ownOpened = false;
    bool declaresOutside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        if (std::regex_search(lines[i], m, open)) {
            const std::string name = m[1].str();
            if (depth == 0 && (name == own || name.rfind(own + "::", 0) == 0))
                ownOpened = true;
            else if (depth == 0) {
                std::size_t j = i + 1;
                while (j < lines.size() && lines[j].rfind('}', 0) != 0 && std::regex_match(lines[j], forward))
                    ++j;
                if (j >= lines.size() || lines[j].rfind('}', 0) != 0)
                    found.push_back(path + ":" + std::to_string(i + 1) + ": namespace " + name + ", not " + own);
            }
            ++depth;
        } else if (std::regex_search(lines[i], anonymous)) {
            ++depth;
        } else if (std::regex_search(lines[i], close)) {
            depth = std::max(depth - 1, 0);
        } else if (depth == 0 && std::regex_search(lines[i], declaration) && !std::regex_match(lines[i], forward)) {
            declaresOutside = true;
        }
    }
    if (path.ends_with(".h") && declaresOutside && !ownOpened)
        found.push_back(path + ": declares outside namespace " + own);
    return found;
}

TEST(Layers, EachFolderLivesInItsOwnNamespace)
{
    const std::string listed = EverySourceFile(ForeignNamespaces);
    EXPECT_TRUE(listed.empty()) << "code outside its folder's namespace:" << listed;
}

// The namespace checker: forward declarations of another layer's classes are
// fine, a body in another namespace is not, nor a header declaring globally.
TEST(Layers, TheNamespaceCheckerCatchesForeignBodiesAndGlobalDeclarations)
{
    std::istringstream fine("namespace playback {\nclass PlaybackEngine;\n}\n\nnamespace exporter {\n"
                            "class Writer {};\n}  // namespace exporter\n");
    EXPECT_TRUE(ForeignNamespaces("export/a.h", fine).empty());
    std::istringstream foreign("namespace capture {\nclass Composer {};\n}  // namespace capture\n");
    EXPECT_EQ(ForeignNamespaces("export/b.h", foreign).size(), 1u);
    std::istringstream global("#pragma once\nstruct ConvertOptions {\n};\n");
    EXPECT_EQ(ForeignNamespaces("export/c.h", global).size(), 1u);
    std::istringstream nested("namespace platform::av {\nstruct Free {};\n}  // namespace platform::av\n");
    EXPECT_TRUE(ForeignNamespaces("platform/d.h", nested).empty());
    EXPECT_EQ(FolderNamespace("picture/jpeg/dct.h"), "picture::jpeg");
    EXPECT_EQ(FolderNamespace("tools/cli/main.cpp"), "cli");
}

}  // namespace
