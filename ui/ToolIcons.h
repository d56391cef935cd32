#pragma once
// Icons of the rich-text toolbars: the desktop theme's icon of that name, or a small picture
// drawn here when the theme has none, so the buttons never show up blank.
#include <QIcon>

// Name is a theme icon name: "edit-cut", "edit-copy", "edit-paste", "format-text-bold",
// "format-text-italic", "format-text-underline", "format-text-color", "format-justify-left",
// "format-justify-center", "format-justify-right", "format-list-unordered", "insert-image",
// "appointment-new" (the time).
QIcon RichEditToolIcon(const char* Name);
