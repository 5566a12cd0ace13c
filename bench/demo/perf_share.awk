# Where the OpenGL program's processor samples go, from `perf script -F
# comm,tid,ip,sym,dso --no-demangle` of a run recorded with call chains.
#   awk -v engine=bench_demo_gl -f perf_share.awk FILES - < script
# FILES: "mangled-name<TAB>source-file:line" lines (from nm -l) telling the
# engine's functions' files.
#
# A sample counts for the engine, the driver (Mesa's libraries, llvmpipe's
# JIT code) or the rest by the library it was taken in; one taken in the C
# and C++ libraries (memcpy, malloc) counts for the nearest caller outside
# them. Engine samples are split by the kind of work of the engine function
# they fall in; the driver's samples in the main thread by the engine code
# that called the driver.
BEGIN { FS = "\t" }

FNR == NR {
    if ($2 == "") next
    file = $2
    sub(/:[0-9]+$/, "", file)
    split($1, f, " ")
    source[f[3]] = file
    next
}

function where(path,    n, parts, base) {
    if (path == "" || path ~ /perf-[0-9]+\.map|\[JIT\]|^\[unknown\]$|\/\/anon/) return "jit"
    n = split(path, parts, "/")
    base = parts[n]
    if (base == engine) return "engine"
    if (base ~ /^(libc|libm|libstdc\+\+|ld-linux.*|libgcc_s|libpthread)\.so|^\[vdso\]$/) return "system"
    if (base ~ /_dri\.so|gallium|^libGL|^libOpenGL|^libEGL|^libglapi|^libLLVM|^libdrm|^libgbm|^libxcb|^libX/) return "mesa"
    return "other"
}

function kind(sym, file) {
    if (file ~ /\/gl\/gl_mesh_/) return "mesh vertex work (gl/gl_mesh_*)"
    if (sym ~ /build_lightmap|light_surface/ || file ~ /\/light_surface\.cpp$|\/gl_lightmap_manager\.cpp$/)
        return "lightmap rebuilds (build_lightmap, light_surface, lightmap cache)"
    if (file ~ /\/gl\/gl_bind_state\.cpp$/) return "GL state setters (GLSys)"
    if (file ~ /\/gl\/(gl_texture|gl_bind_upload)/) return "texture binds and uploads (gl_texture*)"
    if (file ~ /\/gl\/gl_poly_/) return "world polygons (gl_poly_*)"
    if (file ~ /\/gl\//) return "other gl/ (sprites, particles, flares, 2-D)"
    if (file ~ /\/world\/view\//) return "world/view (BSP walk, culling, lights)"
    if (file ~ /\/client\//) return "client/"
    if (file ~ /\/sound\//) return "sound/"
    if (file ~ /\/bench\//) return "the benchmark's own loop"
    if (file ~ /\/world\//) return "world/ (particle motion, shared map)"
    if (file ~ /\/(core|fsys|net|platform|host|engine|server|script)\//) return "core, net, server, engine, host"
    return "unknown"
}

# The kind of the innermost engine frame from `from` on whose .cpp file is
# known: inlined frames come first and are the finer names; what a header
# defines counts for the function of a .cpp file that uses it.
function engine_kind(from,    i) {
    for (i = from; i <= frames; ++i) {
        if (cls[i] == "engine" && (sym[i] in source) && source[sym[i]] ~ /\.cpp$/) return kind(sym[i], source[sym[i]])
    }
    for (i = from; i <= frames; ++i) {
        if (cls[i] == "engine") return kind(sym[i], "")
    }
    return ""
}

# For the driver's samples: the engine code that called the driver, with the
# binds of lightmap textures told from those of the others.
function caller_kind(from,    k, i) {
    k = engine_kind(from)
    if (k ~ /^texture binds/) {
        for (i = from; i <= frames; ++i) {
            if (cls[i] == "engine" && sym[i] ~ /[Ll]ightmap/) return "lightmap texture binds and uploads"
        }
    }
    return k
}

function flush(    i, j, c, k, thread) {
    if (frames == 0) return
    # An inlined frame lives in the library of the next real one.
    for (i = frames; i >= 1; --i) {
        if (dso[i] == "(inlined)") dso[i] = i < frames ? dso[i + 1] : ""
        cls[i] = where(dso[i])
    }
    for (j = 1; j <= frames && cls[j] == "system"; ++j) {}
    c = j <= frames ? cls[j] : "system"
    thread = comm == engine ? "main" : comm ~ /^llvmpipe/ ? "llvmpipe" : "other"
    ++total
    ++by_class[c]
    ++by_thread[thread]
    if (c == "engine") {
        engine_main += thread == "main"
        k = engine_kind(j)
        ++engine_by[k]
    } else if ((c == "mesa" || c == "jit") && thread == "main") {
        k = caller_kind(j)
        ++driver_main_by[k == "" ? "no engine caller" : k]
        ++driver_main
    }
    frames = 0
}

/^[^\t]/ {
    flush()
    comm = $0
    sub(/ +[0-9]+ *$/, "", comm)
    next
}

/^\t/ {
    line = $0
    sub(/^\t */, "", line)
    split(line, w, " ")
    ++frames
    sym[frames] = w[2]
    d = line
    if (!sub(/^.*\(/, "", d)) d = ""
    sub(/\)$/, "", d)
    dso[frames] = d == "inlined" ? "(inlined)" : d
    next
}

function share(n, of) { return of > 0 ? 100 * n / of : 0 }

function print_sorted(arr, of, indent,    n, keys, i, j, t) {
    n = 0
    for (t in arr) keys[++n] = t
    for (i = 2; i <= n; ++i) {
        for (j = i; j > 1 && arr[keys[j]] > arr[keys[j - 1]]; --j) {
            t = keys[j]; keys[j] = keys[j - 1]; keys[j - 1] = t
        }
    }
    for (i = 1; i <= n; ++i) printf "%s%-66s %5.1f %%\n", indent, keys[i], share(arr[keys[i]], of)
}

END {
    flush()
    if (total == 0) {
        print "  no samples"
        exit 1
    }
    printf "  %-68s %5.1f %%\n", "engine's own code", share(by_class["engine"], total)
    print_sorted(engine_by, total, "    ")
    printf "  %-68s %5.1f %%\n", "driver: Mesa's libraries (swrast_dri/gallium, GL dispatch)", share(by_class["mesa"], total)
    printf "  %-68s %5.1f %%\n", "driver: llvmpipe's JIT code (shaders, setup)", share(by_class["jit"], total)
    printf "  %-68s %5.1f %%\n", "C library with no caller outside it", share(by_class["system"], total)
    printf "  %-68s %5.1f %%\n", "other (SDL, sound thread)", share(by_class["other"], total)
    printf "  threads: main %.1f %%, llvmpipe %.1f %%, other %.1f %% of %d samples\n", share(by_thread["main"], total),
        share(by_thread["llvmpipe"], total), share(by_thread["other"], total), total
    printf "  the main thread alone: engine %.1f %%, driver %.1f %%\n", share(engine_main, by_thread["main"]),
        share(driver_main, by_thread["main"])
    printf "  driver work in the main thread (%.1f %% of all), by the engine code that called it\n",
        share(driver_main, total)
    print "  (Mesa queues glBegin/glEnd vertices and draws them at the next state change or bind:"
    print "  the work under a bind is mostly the drawing of the polygons given before it):"
    print_sorted(driver_main_by, total, "    ")
}
