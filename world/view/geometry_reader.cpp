// Reader of "geometry.txt": vertices, faces and polygons of the world and
// its BSP models.
#include "core/print.h"
#include "world/view/client_world.h"
#include "world/map_text_reader.h"
#include "world/shared_map.h"

#include <new>

namespace {

constexpr const char* GEOMETRY_FILE = "geometry.txt";
constexpr const char* GEOMETRY_MAGIC = "textualGeometry,version005";

// Sky faces carry a fixed mapping whatever the file says.
constexpr float SKY_ORIGIN_HEIGHT = 5000.0f;
constexpr float SKY_AXIS_LENGTH = 50.0f;

bool patch_transparent(AlgoTexture& patch)
{
    TextureSlot* const slot = patch.source != nullptr ? patch.source->slot : nullptr;
    if (slot == nullptr || slot->frame_count < 1) {
        return false;
    }
    TextureResource& frame = slot->frames[0];
    return frame.touch(reinterpret_cast<uintptr_t>(slot->layout)) != 0 && frame.texture != nullptr &&
           (frame.texture->flags & TEXTURE_TRANSPARENT) != 0;
}

bool refuse(const char* format, int32_t value)
{
    print_format(P_ERROR, format, value);
    return false;
}

class GeometryReader {
public:
    GeometryReader(ClientWorld& world, FileStream* stream) : world_(world), map_(*world.map), text_(stream, GEOMETRY_FILE), stream_(stream) {}

    bool read(uint32_t* identifier)
    {
        return text_.header(GEOMETRY_MAGIC, identifier) && read_counts() && allocate() && read_models() &&
               read_vertices() && text_.skip_lines(unused_lines_) && read_faces() && read_polygons() &&
               finish_models() && assign_cells();
    }

private:
    bool read_counts()
    {
        int32_t counts[6];
        for (int32_t& c : counts) {
            if (!text_.line_ints(&c, 1)) {
                return false;
            }
        }
        model_count_ = counts[0];
        unused_lines_ = counts[2];
        if (model_count_ != map_.model_count) {
            print_string(P_ERROR, "KLoad: Different number of models in geometry.txt");
            return false;
        }
        if (!count_fits(unused_lines_, stream_)) {
            return refuse("KLoad: Bad count of unused lines %d in geometry.txt", unused_lines_);
        }
        world_.vertex_count = counts[1];
        world_.face_count = counts[3];
        world_.polygon_count = counts[4];
        world_.vertex_pointer_count = counts[5];
        return true;
    }

    // Each element needs a line of the file, each vertex pointer a few bytes
    // of one: larger counts are a damaged file, refused before allocating.
    template <typename T>
    bool allocate_array(T*& array, int32_t& count, const char* message)
    {
        array = count_fits(count, stream_) ? new (std::nothrow) T[count > 0 ? count : 1] : nullptr;
        if (array == nullptr) {
            print_format(P_ERROR, message, count);
            count = 0;
            return false;
        }
        return true;
    }

    bool allocate()
    {
        return allocate_array(world_.vertices, world_.vertex_count, "KLoad: Can't allocate %d vertices") &&
               allocate_array(world_.faces, world_.face_count, "KLoad: Can't allocate %d faces") &&
               allocate_array(world_.polygons, world_.polygon_count, "KLoad: Can't allocate %d polygons") &&
               allocate_array(world_.vertex_pointers, world_.vertex_pointer_count,
                              "KLoad: Can't allocate %d vertex pointers");
    }

    bool read_models()
    {
        int64_t first = 0;
        for (int32_t m = 0; m < model_count_; ++m) {
            int32_t line[4];
            if (!text_.line_ints(line, 4)) {
                return false;
            }
            const int32_t count = line[3];
            if (count < 0 || first + count > world_.polygon_count) {
                return refuse("KLoad: Polygons of model %d lie outside geometry.txt", m);
            }
            map_.models.entity(m).set_polygons(world_.polygons + first, count);
            first += count;
        }
        return true;
    }

    bool read_vertices()
    {
        for (int32_t i = 0; i < world_.vertex_count; ++i) {
            float v[3];
            if (!text_.line_floats(v, 3)) {
                return false;
            }
            world_.vertices[i] = Vector{v[0], v[1], v[2]};
        }
        return true;
    }

    bool read_vector(Vector& v)
    {
        float x[3];
        if (!text_.next_line(false) || !text_.read_floats(x, 3)) {
            return false;
        }
        v = Vector{x[0], x[1], x[2]};
        return true;
    }

    bool read_faces()
    {
        const int32_t half = map_.plane_count / 2;
        for (int32_t f = 0; f < world_.face_count; ++f) {
            int32_t line[3];
            if (!text_.line_ints(line, 3)) {
                return false;
            }
            int64_t plane = line[0];
            const int32_t patch = line[1];
            uint32_t flags = static_cast<uint32_t>(line[2]);
            if ((flags & FACE_OPPOSITE_PLANE) != 0) {
                plane += half;
            }
            if (line[0] < 0 || plane >= map_.plane_count) {
                return refuse("KLoad: Invalid plane used in face %d", f);
            }
            if (patch < 0 || patch >= world_.patch_count) {
                return refuse("KLoad: Invalid patch used in face %d", f);
            }
            Vector origin;
            Vector u_axis;
            Vector v_axis;
            if (!read_vector(origin) || !read_vector(u_axis) || !read_vector(v_axis)) {
                return false;
            }
            if ((flags & FACE_SKY) != 0) {
                origin = Vector{0.0f, 0.0f, SKY_ORIGIN_HEIGHT};
                u_axis = Vector{SKY_AXIS_LENGTH, 0.0f, 0.0f};
                v_axis = Vector{0.0f, SKY_AXIS_LENGTH, 0.0f};
                flags |= FACE_TWO_LAYERS;
            }
            AlgoTexture& p = world_.patches[patch];
            setup_polygon_face(world_.faces[f], &world_.texture_manager, &p, &map_.planes[plane], origin, u_axis,
                               v_axis, flags, patch_transparent(p));
        }
        return true;
    }

    bool read_polygons()
    {
        int64_t used = 0;
        for (int32_t p = 0; p < world_.polygon_count; ++p) {
            int32_t face = 0;
            int32_t n = 0;
            if (!text_.next_line() || !text_.read_literal(face) || !text_.read_literal(n)) {
                return false;
            }
            if (face < 0 || face >= world_.face_count) {
                return refuse("KLoad: Invalid face used in polygon %d", p);
            }
            if (n > POLYGON_MAX_VERTICES) {
                return refuse("KLoad: Too many vertices in polygon #%d", p);
            }
            if (n < 3) {
                return refuse("KLoad: Too few vertices in polygon #%d", p);
            }
            if (used + n > world_.vertex_pointer_count) {
                return refuse("KLoad: Vertex pointers run out at polygon #%d", p);
            }
            Vector** const pointers = world_.vertex_pointers + used;
            for (int32_t k = 0; k < n; ++k) {
                int32_t vertex = 0;
                int32_t unused = 0;
                if (!text_.read_literal(vertex) || !text_.read_literal(unused)) {
                    return false;
                }
                if (vertex < 0 || vertex >= world_.vertex_count) {
                    return refuse("KLoad: Invalid vertex used in polygon #%d", p);
                }
                pointers[k] = &world_.vertices[vertex];
            }
            used += n;
            if (setup_texture_axes(world_.polygons[p], pointers, n, &world_.faces[face]) == 0) {
                print_format(P_WARNING, "KLoad: Polygon #%d is not convex!", p);
            }
        }
        return true;
    }

    bool finish_models()
    {
        for (int32_t m = 0; m < model_count_; ++m) {
            map_.models.entity(m).fit_radius();
        }
        return true;
    }

    bool assign_cells()
    {
        for (int32_t c = 0; c < map_.cell_count; ++c) {
            const Cell& cell = map_.cells[c];
            if (cell.first_polygon < 0 || cell.polygon_count < 0 ||
                int64_t{cell.first_polygon} + cell.polygon_count > world_.polygon_count) {
                return refuse("KLoad: Polygons of cell %d lie outside geometry.txt", c);
            }
            const int32_t offset = cell.pvs != nullptr ? static_cast<int32_t>(cell.pvs - map_.pvs_data) : 0;
            for (int32_t i = cell.first_polygon; i < cell.first_polygon + cell.polygon_count; ++i) {
                world_.polygons[i].cell = c;
                world_.polygons[i].cell_pvs_offset = offset;
            }
        }
        return true;
    }

    ClientWorld& world_;
    SharedMap& map_;
    MapTextReader text_;
    FileStream* stream_;
    int32_t model_count_ = 0;
    int32_t unused_lines_ = 0;
};

} // namespace

int read_geometry(ClientWorld& world, FileStream* stream, uint32_t* identifier)
{
    return GeometryReader(world, stream).read(identifier) ? 1 : 0;
}
