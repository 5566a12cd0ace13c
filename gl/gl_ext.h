#pragma once
// GLExtension: one known GL extension and the addresses of its functions,
// fetched from the driver when its name is in the extension string.
#include <cstdint>

struct GLExtensionInfo {
    const char* name;
    const char* const* functions;
    int function_count;
};

constexpr int GL_KNOWN_EXTENSIONS = 1;
extern const GLExtensionInfo gl_known_extensions[GL_KNOWN_EXTENSIONS];

class GLExtension {
public:
    GLExtension() = default;
    ~GLExtension();
    GLExtension(const GLExtension&) = delete;
    GLExtension& operator=(const GLExtension&) = delete;

    // Whether the name is one whole blank-separated word of extensions.
    bool is_supported(const char* extensions) const;
    // 1 when the extension is offered and every function was found.
    int load(const char* extensions, const GLExtensionInfo& info);
    bool is_loaded() const { return functions > 0; }
    // Calls function id with an enumeration and a float or a pointer to floats.
    void call(int id, uint32_t a, const void* b) const;

    const char* name = nullptr;
    void** table = nullptr;
    int functions = 0;
};

extern GLExtension gl_extensions[GL_KNOWN_EXTENSIONS];
