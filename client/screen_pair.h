#pragma once
// The screen manager and projection that a program's renderer object owns:
// the projection goes first, since it draws on the screen.
template <typename Screen, typename Projection>
void close_screen_pair(Screen*& screen, Projection*& projection)
{
    if (projection != nullptr) {
        projection->shutdown();
        delete projection;
        projection = nullptr;
    }
    if (screen != nullptr) {
        screen->shutdown();
        delete screen;
        screen = nullptr;
    }
}
