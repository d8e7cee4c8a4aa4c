#pragma once

#include <QIcon>
#include <QList>

namespace vkt {

// The seven 16 x 16 pictures of the menus and the toolbar, by index.
enum class Picture { Create = 0, Open, Save, Preview, Print, Help, DeleteRows };

// Draws the picture list (ImageList1); painted in code, so no image files ship with the program.
QList<QIcon> program_pictures();

}  // namespace vkt
