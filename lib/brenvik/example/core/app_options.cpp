#include "core/app_options.h"

#include <initializer_list>

// Generated at configure time from the build settings BRENVIK_DEFAULT_SERVER_HOST
// and BRENVIK_HELPER_DLLS.
#include "example_build_settings.inc"

namespace example {

AppOptions g_appOptions;

const std::string& defaultUpdateUrl() {
    static const std::string url = std::string("http://") + kBuildDefaultServerHost + ":8002/api/upgrade";
    return url;
}

const std::vector<std::string>& helperDllNames() {
    static const std::vector<std::string> names(kBuildHelperDlls.begin(), kBuildHelperDlls.end());
    return names;
}

}  // namespace example
