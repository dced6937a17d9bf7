#include "descriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "file_replace.h"
#include "pattern.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string missing = "<missing>";  // what test::readFile gives for no file

// A launcher folder, named the way main names its files.
struct Game {
    test::ScratchFolder folder;
    std::string dir = folder.prefix();
    std::string air = dir + "META-INF/AIR/";
    std::string descriptor = air + "application.xml";

    std::string cached(const std::string& id) const { return air + "application" + id + ".xml"; }

    // The names in the descriptor's folder, sorted, folders marked by a
    // trailing slash: shows every file left behind, temporaries included.
    std::vector<std::string> airFolder() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(air, error)) {
            std::error_code unknown;  // a link that leads nowhere counts as a file
            names.push_back(entry.path().filename().string() +
                            (entry.is_directory(unknown) ? "/" : ""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct Log {
    std::string out;
    std::string err;
};

Log launch(const Game& game, const std::string& newId) {
    test::LogCapture capture;
    replaceAppId(game.dir, game.descriptor, makePattern("<id>.*</id>"), newId);
    return {capture.out(), capture.err()};
}

// The two lines every launch starts with.
std::string pathLines(const Game& game, const std::string& id) {
    return "file_path:" + game.descriptor + "\n" + "tfile_path:" + game.cached(id) + "\n";
}

// text with every occurrence of from replaced by to.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

// What a row expects of a name: its bytes, or that a folder stands there.
std::string contentOf(const std::string& name) {
    return fs::is_directory(name) ? "<folder>" : test::readFile(name);
}

// A file that may be missing, so that rows can say "no file" too.
void writeIfGiven(const std::string& name, const std::string& bytes) {
    if (bytes != missing) test::writeFile(name, bytes);
}

TEST(replaceAppId, FirstLaunchRewritesLaterLaunchesReuse) {
    Game game;
    const std::string original = test::readFile(TEST_DATA_DIR "/application.xml");
    ASSERT_NE(original, missing);
    test::writeFile(game.descriptor, original);
    const std::string element = "<id>jp.example.client</id>";
    const std::string for123 =
        replaced(replaced(original, element, "<id>DIVU123</id>"), "\n", test::lineEnd);

    // First launch: every line goes to the cached copy, the element replaced.
    Log log = launch(game, "123");
    EXPECT_EQ(log.out, pathLines(game, "123") + "finded file:" + game.descriptor + "\n" +
                           "line:\t<id>DIVU123</id>\n" + "AppID change success\n");
    EXPECT_EQ(log.err, "");
    EXPECT_EQ(test::readFile(game.cached("123")), for123);
    EXPECT_EQ(test::readFile(game.descriptor), for123);

    // Second launch, same id: the cached copy is put in place unread, so a
    // descriptor changed in between (say by an update) is not looked at.
    test::writeFile(game.descriptor, "<id>changed in between</id>\n");
    log = launch(game, "123");
    EXPECT_EQ(log.out, pathLines(game, "123") + "AppID change success\n");
    EXPECT_EQ(log.err, "");
    EXPECT_EQ(test::readFile(game.descriptor), for123);

    // Third launch, another id: a second cached copy, made from the
    // descriptor as the second launch left it; the first stays as it was.
    log = launch(game, "456");
    EXPECT_EQ(log.out, pathLines(game, "456") + "finded file:" + game.descriptor + "\n" +
                           "line:\t<id>DIVU456</id>\n" + "AppID change success\n");
    EXPECT_EQ(log.err, "");
    const std::string for456 = replaced(for123, "<id>DIVU123</id>", "<id>DIVU456</id>");
    EXPECT_EQ(test::readFile(game.cached("456")), for456);
    EXPECT_EQ(test::readFile(game.descriptor), for456);
    EXPECT_EQ(test::readFile(game.cached("123")), for123);
    EXPECT_EQ(game.airFolder(), (std::vector<std::string>{"application.xml", "application123.xml",
                                                          "application456.xml"}));
}

TEST(replaceAppId, WhichFilesThereAre) {
    struct Row {
        const char* name;
        std::string newId;
        std::string descriptor;  // before the launch, or missing
        std::string cached;      // the cached copy for newId before the launch, or missing
        std::string logTail;     // after the two path lines
        std::string descriptorAfter;
        std::vector<std::string> airFolder;
    };
    const std::string noId = "no id for this launch, descriptor left as it is\n";
    const Row rows[] = {
        {"cached copy only",
         "123",
         missing,
         "<id>DIVU123</id>\n",
         "AppID change success\n",
         "<id>DIVU123</id>\n",
         {"application.xml", "application123.xml"}},
        {"neither file", "123", missing, missing, "", missing, {}},
        {"no id, no files", "", missing, missing, noId, missing, {}},
        // Without an id the cached copy's name is the descriptor's own.
        {"no id, a descriptor",
         "",
         "<id>old</id>\n",
         "<id>old</id>\n",
         noId,
         "<id>old</id>\n",
         {"application.xml"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Game game;
        fs::create_directories(game.air);
        writeIfGiven(game.descriptor, row.descriptor);
        writeIfGiven(game.cached(row.newId), row.cached);

        const Log log = launch(game, row.newId);
        EXPECT_EQ(log.out, pathLines(game, row.newId) + row.logTail);
        EXPECT_EQ(log.err, "");
        EXPECT_EQ(test::readFile(game.descriptor), row.descriptorAfter);
        EXPECT_EQ(test::readFile(game.cached(row.newId)),
                  row.newId.empty() ? row.descriptorAfter : row.cached);
        EXPECT_EQ(game.airFolder(), row.airFolder);
    }
}

TEST(replaceAppId, LineHandling) {
    const std::string& end = test::lineEnd;
    // Natively a CR before the LF is part of the line, and the element's
    // "any run" stops at it, so the CR stays behind the replacement.
    const std::string keptCr = test::windowsBuild ? "" : "\r";
    const std::string nul(1, '\0');
    struct Row {
        const char* name;
        std::string descriptor;
        std::string cached;
        std::vector<std::string> logged;  // the "line:" lines
    };
    const Row rows[] = {
        {"no id element", "<a>\n<b/>\n</a>\n", "<a>" + end + "<b/>" + end + "</a>" + end, {}},
        {"element split over two lines", "<id>x\n</id>\n", "<id>x" + end + "</id>" + end, {}},
        {"two elements on one line: first <id> to last </id>",
         "a<id>x</id>b<id>y</id>c\n",
         "a<id>DIVU123</id>c" + end,
         {"a<id>DIVU123</id>c"}},
        {"capitals", "<ID>x</ID>\n", "<ID>x</ID>" + end, {}},
        {"already the new element",
         "<id>DIVU123</id>\n",
         "<id>DIVU123</id>" + end,
         {"<id>DIVU123</id>"}},
        {"element in a comment too",
         "<!-- <id>example</id> -->\n<id>x</id>\n",
         "<!-- <id>DIVU123</id> -->" + end + "<id>DIVU123</id>" + end,
         {"<!-- <id>DIVU123</id> -->", "<id>DIVU123</id>"}},
        {"empty element", "<id></id>\n", "<id>DIVU123</id>" + end, {"<id>DIVU123</id>"}},
        {"LF line ends",
         "a\n<id>x</id>\nb\n",
         "a" + end + "<id>DIVU123</id>" + end + "b" + end,
         {"<id>DIVU123</id>"}},
        {"CR LF line ends",
         "a\r\n<id>x</id>\r\nb\r\n",
         "a\r\n<id>DIVU123</id>\r\nb\r\n",
         {"<id>DIVU123</id>" + keptCr}},
        {"empty lines",
         "\n\n<id>x</id>\n\n",
         end + end + "<id>DIVU123</id>" + end + end,
         {"<id>DIVU123</id>"}},
        {"last line without a line end",
         "a\n<id>x</id>",
         "a" + end + "<id>DIVU123</id>" + end,
         {"<id>DIVU123</id>"}},
        {"empty descriptor", "", "", {}},
        {"byte-order mark",
         "\xEF\xBB\xBF<?xml?>\n<id>x</id>\n",
         "\xEF\xBB\xBF<?xml?>" + end + "<id>DIVU123</id>" + end,
         {"<id>DIVU123</id>"}},
        // The Windows runtime's text mode would end the file at the Ctrl-Z.
        {"Ctrl-Z in the middle",
         "a\x1A"
         "b\n<id>x</id>\n",
         "a\x1A"
         "b" +
             end + "<id>DIVU123</id>" + end,
         {"<id>DIVU123</id>"}},
        {"NUL bytes in lines",
         "a" + nul + "b\n<id>x" + nul + "y</id>" + nul + "\n",
         "a" + nul + "b" + end + "<id>DIVU123</id>" + nul + end,
         {"<id>DIVU123</id>" + nul}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Game game;
        test::writeFile(game.descriptor, row.descriptor);

        const Log log = launch(game, "123");
        std::string expected = pathLines(game, "123") + "finded file:" + game.descriptor + "\n";
        for (const std::string& line : row.logged) expected += "line:" + line + "\n";
        EXPECT_EQ(log.out, expected + "AppID change success\n");
        EXPECT_EQ(log.err, "");
        EXPECT_EQ(test::readFile(game.cached("123")), row.cached);
        EXPECT_EQ(test::readFile(game.descriptor), row.cached);
    }
}

TEST(replaceAppId, OneLineOf64MiB) {
    Game game;
    const size_t half = 32u << 20;
    const std::string before(half, 'a');
    const std::string after(half - 12, 'z');
    test::writeFile(game.descriptor, before + "<id>original</id>" + after + "\n");
    const std::string line = before + "<id>DIVU123</id>" + after;

    const Log log = launch(game, "123");
    const std::string expectedLog = pathLines(game, "123") + "finded file:" + game.descriptor +
                                    "\n" + "line:" + line + "\n" + "AppID change success\n";
    EXPECT_EQ(log.out.size(), expectedLog.size());
    EXPECT_TRUE(log.out == expectedLog);
    EXPECT_EQ(log.err, "");

    const std::string expected = line + test::lineEnd;
    for (const std::string& name : {game.cached("123"), game.descriptor}) {
        SCOPED_TRACE(name);
        const std::string written = test::readFile(name);
        EXPECT_EQ(written.size(), expected.size());
        EXPECT_EQ(written.substr(half - 8, 32), expected.substr(half - 8, 32));
        EXPECT_TRUE(written == expected);
    }
}

// What a descriptor that cannot be read leads to depends on the platform:
// Windows will not open a folder as a file, POSIX opens it and fails the read.
TEST(replaceAppId, FolderInTheDescriptorsPlace) {
    Game game;
    fs::create_directories(game.descriptor);

    const Log log = launch(game, "123");
    const std::string found = pathLines(game, "123") + "finded file:" + game.descriptor + "\n";
    if (test::windowsBuild) {
        EXPECT_EQ(log.out, found + "file open failed" + game.descriptor + "\n");
        EXPECT_EQ(log.err, "");
    } else {
        EXPECT_EQ(log.out, found);
        EXPECT_EQ(log.err, "cant read file:" + game.descriptor + "\n");
    }
    EXPECT_TRUE(fs::is_directory(game.descriptor));
    EXPECT_EQ(game.airFolder(), std::vector<std::string>{"application.xml/"});
}

TEST(replaceAppId, FailuresLeaveTheDescriptorIntact) {
    const std::string descriptor = "<id>old</id>\n";
    struct Row {
        const char* name;
        void (*setUp)(const Game&);
        std::string logTail;  // after the two path lines
        std::string err;      // with <descriptor> and <cached> for the names
        std::vector<std::string> airFolder;
    };
    const Row rows[] = {
        // Windows will not open a folder as a file; POSIX opens it and fails the read.
        {"folder under the cached copy's name",
         [](const Game& game) { fs::create_directory(game.cached("123")); },
         test::windowsBuild ? "source file open failed\n" : "",
         test::windowsBuild ? "" : "cant read file:<cached>\n",
         {"application.xml", "application123.xml/"}},
        {"folder in the descriptor's place, reuse way",
         [](const Game& game) {
             fs::remove(game.descriptor);
             fs::create_directory(game.descriptor);
             test::writeFile(game.cached("123"), "<id>DIVU123</id>\n");
         },
         "",
         "cant replace file:<descriptor>\n",
         {"application.xml/", "application123.xml"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Game game;
        test::writeFile(game.descriptor, descriptor);
        row.setUp(game);
        const std::string descriptorBefore = contentOf(game.descriptor);
        const std::string cachedBefore = contentOf(game.cached("123"));

        const Log log = launch(game, "123");
        const auto named = [&](const std::string& text) {
            return replaced(replaced(text, "<descriptor>", game.descriptor), "<cached>",
                            game.cached("123"));
        };
        EXPECT_EQ(log.out, pathLines(game, "123") + named(row.logTail));
        EXPECT_EQ(log.err, named(row.err));
        EXPECT_EQ(contentOf(game.descriptor), descriptorBefore);
        EXPECT_EQ(contentOf(game.cached("123")), cachedBefore);
        EXPECT_EQ(game.airFolder(), row.airFolder);
    }
}

// The two ways to a descriptor that cannot be replaced, for the tests below.
struct LockedRow {
    const char* name;
    std::string cached;   // before the launch, or missing
    std::string logTail;  // after the two path lines
};
const LockedRow lockedRows[] = {
    {"reuse way", "<id>DIVU123</id>\n", ""},
    // The cached copy is complete, so it stays for the next launch to put in place.
    {"rewrite way", missing, "finded file:<descriptor>\nline:<id>DIVU123</id>\n"},
};

void setUpLocked(const Game& game, const LockedRow& row) {
    test::writeFile(game.descriptor, "<id>old</id>\n");
    writeIfGiven(game.cached("123"), row.cached);
}

void expectDescriptorKept(const Game& game, const LockedRow& row, const Log& log,
                          const std::string& failure) {
    EXPECT_EQ(log.out,
              pathLines(game, "123") + replaced(row.logTail, "<descriptor>", game.descriptor));
    EXPECT_EQ(log.err, failure + game.descriptor + "\n");
    EXPECT_EQ(test::readFile(game.descriptor), "<id>old</id>\n");
    const std::string cachedLineEnd = row.cached == missing ? test::lineEnd : "\n";
    EXPECT_EQ(test::readFile(game.cached("123")), "<id>DIVU123</id>" + cachedLineEnd);
    EXPECT_EQ(game.airFolder(),
              (std::vector<std::string>{"application.xml", "application123.xml"}));
}

// A program that holds the descriptor open (the client, an editor) without
// letting it be deleted stops Windows from moving a file over it; the launch
// waits a while for it, then gives up.
TEST(replaceAppId, DescriptorHeldOpenElsewhere) {
    if (!test::windowsBuild) GTEST_SKIP() << "POSIX lets a rename replace an open file";
    for (const LockedRow& row : lockedRows) {
        SCOPED_TRACE(row.name);
        Game game;
        setUpLocked(game, row);
        std::ifstream held(fs::path(game.descriptor), std::ios::binary);
        ASSERT_TRUE(held.is_open());

        const Log log = launch(game, "123");
        held.close();
        expectDescriptorKept(game, row, log, "cant replace file:");
    }
}

// Held only for a moment, as another launch or a virus scanner holds it, the
// descriptor is replaced once it is free.
TEST(replaceAppId, DescriptorHeldOpenForAMoment) {
    if (!test::windowsBuild) GTEST_SKIP() << "POSIX lets a rename replace an open file";
    for (const LockedRow& row : lockedRows) {
        SCOPED_TRACE(row.name);
        Game game;
        setUpLocked(game, row);
        auto held = std::make_unique<std::ifstream>(fs::path(game.descriptor), std::ios::binary);
        ASSERT_TRUE(held->is_open());
        std::thread release([&held] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            held.reset();
        });

        const Log log = launch(game, "123");
        release.join();
        const std::string waited = "waited for busy file:" + game.descriptor + " (";
        const size_t at = log.out.find(waited);
        ASSERT_NE(at, std::string::npos) << log.out;
        const long milliseconds = std::stol(log.out.substr(at + waited.size()));
        EXPECT_GE(milliseconds, 200);
        EXPECT_LT(milliseconds, 1000);
        EXPECT_EQ(log.out, pathLines(game, "123") +
                               replaced(row.logTail, "<descriptor>", game.descriptor) +
                               log.out.substr(at, log.out.find('\n', at) + 1 - at) +
                               "AppID change success\n");
        EXPECT_EQ(log.err, "");
        EXPECT_EQ(test::readFile(game.descriptor), test::readFile(game.cached("123")));
        EXPECT_EQ(game.airFolder(),
                  (std::vector<std::string>{"application.xml", "application123.xml"}));
    }
}

// A read-only descriptor is left as it is, whether or not the platform would
// let a file be moved over it.
TEST(replaceAppId, ReadOnlyDescriptor) {
    for (const LockedRow& row : lockedRows) {
        SCOPED_TRACE(row.name);
        Game game;
        setUpLocked(game, row);
        test::makeReadOnly(game.descriptor, true);

        const Log log = launch(game, "123");
        test::makeReadOnly(game.descriptor, false);
        expectDescriptorKept(game, row, log, "cant new file:");
    }
}

// A temporary's name can be guessed. Whatever stands there is left alone, and
// another name is taken.
TEST(replaceAppId, SomethingPlantedAtATemporarysName) {
    struct Row {
        const char* name;
        bool link;          // a symbolic link to a file elsewhere, else a folder
        bool cachedBefore;  // the reuse way, else the rewrite way
    };
    const Row rows[] = {
        {"folder at the cached copy's temporary", false, false},
        {"folder at the descriptor's temporary", false, true},
        {"link at the cached copy's temporary", true, false},
        {"link at the descriptor's temporary", true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Game game;
        test::writeFile(game.descriptor, "<id>old</id>\n");
        if (row.cachedBefore)
            test::writeFile(game.cached("123"), "<id>DIVU123</id>" + test::lineEnd);
        const std::string planted =
            temporaryNameFor(row.cachedBefore ? game.descriptor : game.cached("123"));
        const fs::path victim = game.folder.path() / "victim.txt";
        test::writeFile(victim, "not the launcher's\n");
        if (row.link) {
            std::error_code error;
            fs::create_symlink(victim, planted, error);
            if (error) {
                // Wine cannot make them; the folder rows have run all the same.
                std::cout << "row left out, no symbolic links here: " << error.message() << "\n";
                continue;
            }
        } else {
            fs::create_directory(planted);
        }

        const Log log = launch(game, "123");
        const std::string rewrite =
            row.cachedBefore ? "" : "finded file:" + game.descriptor + "\nline:<id>DIVU123</id>\n";
        EXPECT_EQ(log.out, pathLines(game, "123") + rewrite + "AppID change success\n");
        EXPECT_EQ(log.err, "");
        const std::string expected = "<id>DIVU123</id>" + test::lineEnd;
        for (const std::string& name : {game.descriptor, game.cached("123")}) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name))) << name;
            EXPECT_EQ(test::readFile(name), expected) << name;
        }
        EXPECT_EQ(test::readFile(victim), "not the launcher's\n");
        EXPECT_TRUE(row.link ? fs::is_symlink(planted) : fs::is_directory(planted));
        std::vector<std::string> names = {
            "application.xml", "application123.xml",
            fs::path(planted).filename().string() + (row.link ? "" : "/")};
        std::sort(names.begin(), names.end());
        EXPECT_EQ(game.airFolder(), names);
    }
}

// When the file system cannot tell whether a file is there, the launch goes
// no further than it safely can, and says so.
TEST(replaceAppId, ExistenceThatCannotBeTold) {
    struct Row {
        const char* name;
        void (*setUp)(const Game&);
        std::string newId;
        std::string logTail;  // after the two path lines
        std::string err;      // with <descriptor> and <cached> for the names
    };
    const Row rows[] = {
        // "Not a folder" on the way means "no such file" to std::filesystem.
        {"a file in a folder's place on the way",
         [](const Game& game) { test::writeFile(game.dir + "META-INF", "not a folder"); }, "123",
         "", ""},
        // Ids are digit runs of any length. POSIX says the name is too long;
        // Windows says the file is not there, then cannot make the temporary.
        {"an id too long for a file name",
         [](const Game& game) { test::writeFile(game.descriptor, "<id>old</id>\n"); },
         std::string(300, '7'), test::windowsBuild ? "finded file:<descriptor>\n" : "",
         test::windowsBuild ? "cant new file:<cached>\n" : "cant check file:<cached>\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Game game;
        row.setUp(game);
        const std::string metaInfBefore = contentOf(game.dir + "META-INF");
        const std::string descriptorBefore = contentOf(game.descriptor);
        const std::vector<std::string> airFolderBefore = game.airFolder();

        const Log log = launch(game, row.newId);
        const auto named = [&](const std::string& text) {
            return replaced(replaced(text, "<descriptor>", game.descriptor), "<cached>",
                            game.cached(row.newId));
        };
        EXPECT_EQ(log.out, pathLines(game, row.newId) + named(row.logTail));
        EXPECT_EQ(log.err, named(row.err));
        EXPECT_EQ(contentOf(game.dir + "META-INF"), metaInfBefore);
        EXPECT_EQ(contentOf(game.descriptor), descriptorBefore);
        EXPECT_EQ(game.airFolder(), airFolderBefore);
    }
}

TEST(replaceAppId, SymbolicLinkLoopAtTheCachedCopysName) {
    Game game;
    test::writeFile(game.descriptor, "<id>old</id>\n");
    std::error_code error;
    fs::create_symlink(game.cached("123"), game.cached("123"), error);
    if (error) GTEST_SKIP() << "no symbolic links on this file system: " << error.message();

    const Log log = launch(game, "123");
    EXPECT_EQ(log.out, pathLines(game, "123"));
    EXPECT_EQ(log.err, "cant check file:" + game.cached("123") + "\n");
    EXPECT_EQ(test::readFile(game.descriptor), "<id>old</id>\n");
    EXPECT_EQ(game.airFolder(),
              (std::vector<std::string>{"application.xml", "application123.xml"}));
}

}  // namespace
