#include "integrity/ArgumentQuoting.h"
#include "support/TestSupport.h"

#include <random>
#include <windows.h>
#include <shellapi.h>

TEST(PathGrammar, AbsolutenessFollowsTheWindowsGrammar) {
    struct Case { const wchar_t* path; bool absolute; };
    for (Case c : std::initializer_list<Case>{
             {L"C:\\", true}, {L"c:/games", true}, {L"C:games", false}, {L"C:", false},
             {L"\\games", false}, {L"/games", false}, {L"games", false}, {L"", false},
             {L"\\\\server\\share\\x", true}, {L"//server/share/x", true}, {L"\\\\server", true},
             {L"\\\\?\\C:\\x", true}, {L"\\\\.\\pipe\\x", true}, {L"1:\\x", false}}) {
        EXPECT_EQ(isAbsoluteWidePath(c.path), c.absolute) << c.path;
    }
}

TEST(PathGrammar, ParentsStopAtTheRoot) {
    struct Case { const wchar_t* path; const wchar_t* parent; };
    for (Case c : std::initializer_list<Case>{
             {L"C:\\a\\b", L"C:\\a"}, {L"C:\\a", L"C:\\"}, {L"C:\\", L"C:\\"}, {L"C:\\a\\", L"C:\\a"},
             {L"C:\\a/notices/x.txt", L"C:\\a/notices"}, {L"\\\\server\\share\\x", L"\\\\server\\share"},
             {L"\\\\server\\share", L"\\\\server\\"}, {L"\\\\server\\", L"\\\\server\\"}, {L"a\\b", L"a"},
             {L"a", L""}}) {
        EXPECT_EQ(parentPath(c.path), c.parent) << c.path;
    }
}

TEST(PathGrammar, LexicalNormalAndAbsoluteForms) {
    struct Case { const wchar_t* path; const wchar_t* normal; };
    for (Case c : std::initializer_list<Case>{
             {L"C:\\a\\.\\b\\..\\c", L"C:\\a\\c"}, {L"C:/a//b", L"C:\\a\\b"}, {L"C:\\..\\..\\a", L"C:\\a"},
             {L"C:\\a\\b\\..", L"C:\\a\\"}, {L"a\\..\\..\\b", L"..\\b"}, {L"//server/share/./x", L"\\\\server\\share\\x"},
             {L"a\\..", L"."}}) {
        EXPECT_EQ(lexicallyNormal(c.path), c.normal) << c.path;
    }
    const wchar_t* current = L"D:\\work\\here";
    struct AbsoluteCase { const wchar_t* path; const wchar_t* absolute; };
    for (AbsoluteCase c : std::initializer_list<AbsoluteCase>{
             {L"x\\..\\data", L"D:\\work\\here\\x\\..\\data"}, {L"\\games", L"D:\\games"},
             {L"d:games", L"D:\\work\\here\\games"}, {L"C:games", L"C:\\games"}, {L"E:\\k", L"E:\\k"},
             {L"", L""}}) {
        EXPECT_EQ(makeAbsolute(c.path, current), c.absolute) << c.path;
    }
    // Final paths as the system reports them, as a program spells them.
    for (AbsoluteCase c : std::initializer_list<AbsoluteCase>{
             {L"\\\\?\\X:\\a", L"X:\\a"}, {L"\\\\?\\UNC\\server\\share\\a", L"\\\\server\\share\\a"}, {L"X:\\a", L"X:\\a"}})
        EXPECT_EQ(withoutVerbatimPrefix(c.path), c.absolute) << c.path;
}

TEST(PathGrammar, ContainmentIgnoresCaseSeparatorsAndDots) {
    const wchar_t* current = L"C:\\cwd";
    struct Case { const wchar_t* path; const wchar_t* folder; bool inside; };
    for (Case c : std::initializer_list<Case>{
             {L"C:\\Games\\Pack", L"C:\\games", true}, {L"C:\\games\\", L"C:\\GAMES", true},
             {L"C:/games/pack/x.png", L"C:\\games", true}, {L"C:\\other\\..\\games\\p", L"C:\\games", true},
             {L"C:\\GamesPack", L"C:\\games", false}, {L"C:\\games\\..\\x", L"C:\\games", false},
             {L"pack", L"C:\\cwd", true}, {L"D:\\games", L"C:\\games", false},
             {L"C:\\Data", L"C:\\DATA\\", true}, {L"C:\\Data\\x", L"C:\\DATA\\\\", true},
             {L"C:\\x", L"C:\\", true}, {L"\\\\srv\\share", L"\\\\SRV\\share\\", true}}) {
        EXPECT_EQ(isSameOrInsideFolder(c.path, c.folder, current), c.inside) << c.path << L" in " << c.folder;
    }
}

TEST(ArgumentQuoting, PlatformSplittingGivesBackEveryArgument) {
    // Generated arguments over an alphabet rich in the characters that matter.
    const std::wstring alphabet = L"ab \t\"\\\\\\\x00e9\x65e5/";
    std::mt19937 random(3711);
    for (int round = 0; round < 400; ++round) {
        std::vector<std::wstring> arguments;
        std::wstring commandLine = L"program.exe";
        for (int n = 0; n < 3; ++n) {
            std::wstring argument;
            std::size_t length = random() % 9;
            for (std::size_t i = 0; i < length; ++i) argument += alphabet[random() % alphabet.size()];
            arguments.push_back(argument);
            commandLine += L' ' + quoteArgument(argument);
        }
        int count = 0;
        LPWSTR* split = CommandLineToArgvW(commandLine.c_str(), &count);
        ASSERT_EQ(count, 4) << commandLine;
        for (int n = 0; n < 3; ++n) EXPECT_EQ(split[n + 1], arguments[n]) << commandLine;
        LocalFree(split);
    }
}

TEST(TextConversion, StrictBothWays) {
    EXPECT_EQ(utf8ToWide("D:\\Spiele\\\xc3\xa4\xe6\x97\xa5\xf0\x9f\x8e\xae"), L"D:\\Spiele\\\x00e4\x65e5\xd83c\xdfae");
    EXPECT_EQ(wideToUtf8(L"\x00e4\xd83c\xdfae"), "\xc3\xa4\xf0\x9f\x8e\xae");
    EXPECT_EQ(utf8ToWide("\xef\xbb\xbfx\n"), L"\xfeffx\n");  // nothing stripped or trimmed
    for (const char* invalid : {"\xff", "a\xc3", "\xed\xa0\x80", "\xc0\xaf"})
        EXPECT_EQ(test::failureOf([&] { utf8ToWide(invalid); }), "Invalid saved file path.") << invalid;
    EXPECT_EQ(test::failureOf([] { wideToUtf8(std::wstring(1, wchar_t(0xd800))); }), "Invalid text in file path.");
}
