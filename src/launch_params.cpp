#include "launch_params.h"

#include <string_view>

#include "log.h"

namespace {

constexpr std::string_view exeName = "DIVU.exe";

}  // namespace

ParamSource processParam(int argc, char* argv[]) {
    // POSIX allows a start with no program path at all.
    const std::string programPath = argc > 0 && argv[0] ? argv[0] : "";
    logLine("Pre excu Directory:", programPath);

    std::string execDir;
    // The last one: a folder on the way may hold the name too (DIVU.exe.d).
    const size_t nameAt = programPath.rfind(exeName);
    if (nameAt != std::string::npos) {
        execDir = programPath;
        execDir.erase(nameAt, exeName.size());
        logLine("Now excu Directory:", execDir);
    } else {
        logLine("Execu Directory parse failed");
    }

    const Platform platform = judgePlatform(argc, argv);

    std::string paramStr;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) paramStr += ' ';
        paramStr += argv[i];
    }
    logLine("input param: ", paramStr);

    std::string id;
    std::string sid;
    if (platform == Platform::DMM) {
        const Pattern pattern = makePattern("viewer_id=(\\d+)");
        id = matchId(paramStr, pattern);
    } else if (platform == Platform::JP) {
        const Pattern pattern = makePattern("account=(\\d+)");
        const Pattern pattern2 = makePattern("sid=(\\d+)");
        id = matchId(paramStr, pattern);
        sid = matchId(paramStr, pattern2);
    }
    logLine("id: ", id);
    logLine("sid:", sid);

    return ParamSource{paramStr, id, sid, execDir};
}

Platform judgePlatform(int argc, char* argv[]) {
    if (argc <= 1) return Platform::NONE;
    const Pattern patternJp = makePattern("kemumclient");
    const Pattern patternDMM = makePattern("DMM");
    const std::string con = argv[1];
    if (searchPattern(con, patternJp).found) return Platform::JP;
    if (searchPattern(con, patternDMM).found) return Platform::DMM;
    return Platform::NONE;
}

std::string matchId(std::string content, Pattern pattern) {
    std::string result;
    const PatternMatch match = searchPattern(content, pattern);
    if (match.found) {
        result = content.substr(match.captureBegin, match.captureEnd - match.captureBegin);
        logLine("match account success:", result);
    } else {
        logLine("match faild");
    }
    return result;
}
