#pragma once

#include "shop/Shop.h"

// A shop standing on the start-up street (size 25, y 37.5) at x, without
// the pictures and font that Shop::init loads.
inline Shop streetShop(float x = 0.0f) {
    Shop shop;
    shop.size = 25.0f;
    shop.halfSize = 12.5f;
    shop.y = 37.5f;
    shop.setX(x);
    return shop;
}
