#include "app/WindowSet.h"

#include "app/Unit8.h"
#include "editor/Etool.h"
#include "publish/Unit6.h"
#include "record/Unit1.h"
#include "record/Unit2.h"
#include "record/Unit5.h"

namespace quolva::app {

template <typename Window>
Window* WindowSet::create(std::unique_ptr<Window>& slot)
{
    slot = std::make_unique<Window>(*this);
    creationOrder_.append(slot.get());
    return slot.get();
}

WindowSet::WindowSet()
{
    create(form7_);
    create(form1_);
    create(form2_);
    create(form5_);
    create(form6_);
    create(form8_);
}

// Destroyed in reverse order of creation, so that no window outlives one it was created after.
WindowSet::~WindowSet()
{
    form8_.reset();
    form6_.reset();
    form5_.reset();
    form2_.reset();
    form1_.reset();
    form7_.reset();
}

QWidget& WindowSet::mainWindow() const
{
    return *creationOrder_.front();
}

} // namespace quolva::app
