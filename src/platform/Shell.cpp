#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace quolva::platform {
namespace {

class DesktopShell final : public Shell {
public:
    bool openDocument(const QString& path) override { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }
};

std::unique_ptr<Shell>& current()
{
    static std::unique_ptr<Shell> instance = std::make_unique<DesktopShell>();
    return instance;
}

} // namespace

Shell& shell()
{
    return *current();
}

std::unique_ptr<Shell> installShell(std::unique_ptr<Shell> replacement)
{
    if (!replacement)
        replacement = std::make_unique<DesktopShell>();
    std::swap(current(), replacement);
    return replacement;
}

} // namespace quolva::platform
