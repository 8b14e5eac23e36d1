#include "view/channel_slots.h"

#include <new>

namespace orvel::view {

void fill_blank_picture(Picture& picture) {
    for (std::size_t i = 0; i + 3 < picture.size(); i += 4) {
        picture[i] = 8;
        picture[i + 1] = 1;
        picture[i + 2] = 1;
        picture[i + 3] = 1;
    }
}

std::unique_ptr<LiveSlot> make_live_slot() {
    std::unique_ptr<LiveSlot> slot(new (std::nothrow) LiveSlot);
    if (slot) fill_blank_picture(slot->blank_picture);
    return slot;
}

std::unique_ptr<RemoteFileSlot> make_remote_slot() {
    std::unique_ptr<RemoteFileSlot> slot(new (std::nothrow) RemoteFileSlot);
    if (slot) fill_blank_picture(slot->blank_picture);
    return slot;
}

std::unique_ptr<LocalFileSlot> make_local_slot() {
    return std::unique_ptr<LocalFileSlot>(new (std::nothrow) LocalFileSlot);
}

}  // namespace orvel::view
