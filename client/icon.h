#pragma once
// Object class 11: icons, pictures shown at rectangles of the screen (in
// the screen manager's virtual units, 25600 x 19200 for the whole screen)
// with a shown part of their width. Icons show only while a screen manager
// is bound; pictures come by name (once through a named-block cache) from
// the icon table.
#include "client/entity_manager.h"
#include "net/net_ccache.h"
#include "world/view/icon_table.h"

class ScreenManager;

constexpr int ICON_NAME_BLOCKS = 64;
constexpr int ICON_NAME_SIZE = 10;
constexpr int32_t ICON_SCREEN_WIDTH = 25600;
constexpr int32_t ICON_X_BIAS = 19968;
constexpr int32_t ICON_Y_BIAS = 23168;

struct IconObject {
    IconHandle handle;
    bool placed = false; // the create's rectangle is in
};

class Icon final : public EntityManager<IconObject> {
public:
    Icon() = default;
    ~Icon() override { destroy(); }

    // The picture table, then the slots; 1, or 0 when memory runs out.
    int create(int objects, int pictures);
    void destroy();
    // Binds the screen manager and shows every icon; stop releases the
    // loaded pictures, hides the icons and unbinds it.
    void start(ScreenManager* screen);
    void stop();

    int link(int index) override;
    int unlink(int index, int force) override;
    int net_update(int index, uint32_t mask, NetStreamIn& stream) override;

    IconHandle& handle(int index) { return record(index).handle; }
    IconTable& pictures() { return table_; }
    ScreenManager* screen() const { return screen_; }

private:
    IconTable table_;
    ScreenManager* screen_ = nullptr;
    NetCCache names_;
};
