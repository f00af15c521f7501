#include "ui/app_context.h"

#include "platform/decode_api.h"

namespace ui {

AppContext::AppContext(std::string directory)
    : appDirectory(std::move(directory)), decoder(appDirectory + "/" + platform::decodeapi::kLibraryFile)
{
}

}  // namespace ui
