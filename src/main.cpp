#include <exception>
#include <string>

#include "client_start.h"
#include "descriptor.h"
#include "launch_params.h"
#include "log.h"
#include "pattern.h"
#include "platform/win32.h"

int main(int argc, char* argv[]) {
    try {
        HWND hWnd = GetConsoleWindow();
        ShowWindow(hWnd, 0);

        // Windows hands main its arguments in the ANSI code page, which loses
        // every character outside it.
        LaunchArguments arguments = launchArguments(argc, argv);
        const ParamSource paramSource = processParam(arguments.argc, arguments.argv.data());
        const std::string newId = paramSource.id + paramSource.sid;
        const Pattern pattern = makePattern("<id>.*</id>");
        replaceAppId(paramSource.execDir, paramSource.execDir + "META-INF/AIR/application.xml",
                     pattern, newId);

        const std::string appDir = clientCommandLine(paramSource.execDir, paramSource.param);
        logLine("APP:", appDir);
        // The client is the launcher's one job: a start that failed is a failed run.
        const unsigned int started = startApplication(appDir);
        if (started <= 31) {
            logError("cant start client, error ", std::to_string(started) + ":" + appDir);
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        // Only the standard library throws, and only when memory runs out; the
        // descriptor is intact, as every replacement is made in one step.
        logError("launcher stopped: ", error.what());
        return 1;
    }
}
