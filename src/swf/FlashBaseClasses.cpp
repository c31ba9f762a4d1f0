#include "FlashBaseClasses.h"

namespace {
std::uint16_t nextCharacterId = 1;
}

FlashIDEnabled::FlashIDEnabled() : m_id(nextCharacterId++) {}
