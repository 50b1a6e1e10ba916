#pragma once
// The program's own icon set, drawn at whatever size is asked for, so the
// buttons stay sharp at any scale and no outside image is needed.

#include <QIcon>

namespace sondrel {

enum class ButtonIcon { Start, Stop, Export, Open, Copy, Dos, Help, Application, Monitor };

QIcon DrawnIcon(ButtonIcon kind);

// The desktop theme's icon of the installed program, or the drawn one.
QIcon ApplicationIcon();

}  // namespace sondrel
