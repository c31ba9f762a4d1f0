#pragma once
#include <QCursor>
#include <QPixmap>

namespace quolva::record {

// The recording panel's skins, 154 × 59: 1 紫水晶 (amethyst), 2 绿宝石 (emerald), 3 橄榄树 (olive tree),
// 4 蓝晶玲 (blue crystal). Each paints the five buttons where the panel's shapes catch the mouse.
QPixmap panelSkin(int skin);

// The close box's picture, 8 × 8.
QPixmap closeBoxPicture();

// The panel's button cursors by their ids: 55 wizard, 66 record, 77 return, 88 stop.
QCursor panelCursor(int id);

// The wizard's two picture buttons, raised and pressed: the sound-format chooser and the viewfinder.
enum class WizardPicture { SoundFormat, Viewfinder };
QPixmap wizardButtonPicture(WizardPicture which, bool pressed);

} // namespace quolva::record
