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

        const ParamSource paramSource = processParam(argc, argv);
        const std::string newId = paramSource.id + paramSource.sid;
        const Pattern pattern = makePattern("<id>.*</id>");
        replaceAppId(paramSource.execDir, paramSource.execDir + "META-INF/AIR/application.xml",
                     pattern, newId);

        const std::string appDir = clientCommandLine(paramSource.execDir, paramSource.param);
        logLine("APP:", appDir);
        startApplication(appDir);
        return 0;
    } catch (const std::exception& error) {
        // Only the standard library throws, and only when memory runs out; the
        // descriptor is intact, as every replacement is made in one step.
        logError("launcher stopped: ", error.what());
        return 1;
    }
}
