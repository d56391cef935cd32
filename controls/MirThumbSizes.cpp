#include "controls/MirThumbSizes.h"

TMThumbSizes ThumbSizes(int thumbSize) {
  switch (thumbSize) {
    case 0:
      return {QSize(102, 78), QSize(96, 72), QSize(94, 70)};
    case 1:
      return {QSize(136, 104), QSize(130, 98), QSize(128, 96)};
    default:
      return {QSize(204, 155), QSize(198, 149), QSize(196, 147)};
  }
}
