#pragma once
#include <QString>
#include <memory>

namespace quolva::platform {

// The desktop shell: opens a document with the program the desktop associates with it.
class Shell {
public:
    virtual ~Shell() = default;
    // Returns false when the desktop could not start a program for the document.
    virtual bool openDocument(const QString& path) = 0;
};

Shell& shell();
std::unique_ptr<Shell> installShell(std::unique_ptr<Shell> replacement);

} // namespace quolva::platform
