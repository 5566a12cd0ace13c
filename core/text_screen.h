#pragma once
// The text list of a screen, as the console draws on it. The renderer's
// screen manager implements it; core code sees only this interface.

class TextScreen {
public:
    virtual ~TextScreen() = default;
    // Shows text at a character cell until it is removed. The screen keeps the
    // pointer, not a copy. Returns the text id (0 or greater), or -1 when the
    // text list is full.
    virtual int add_text(int column, int row, const char* text) = 0;
    // Both need an id that add_text returned and that is still shown.
    virtual void set_text(int id, const char* text) = 0;
    virtual void remove_text(int id) = 0;
    // The screen's height in text lines.
    virtual int text_rows() const = 0;
};
