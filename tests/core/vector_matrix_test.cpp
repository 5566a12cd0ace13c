#include "core/list_node.h"
#include "core/matrix.h"
#include "core/sine_table.h"
#include "core/vector.h"

#include "sine_table_fixture.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {

constexpr float PI = std::numbers::pi_v<float>;

void expect_vector(const Vector& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void expect_rotation(const Matrix& m, const float (&r)[9], float tolerance = 1e-5f)
{
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            EXPECT_NEAR(m.m[4 * row + col], r[3 * row + col], tolerance) << "row " << row << " col " << col;
        }
    }
}

void expect_identity(const Matrix& m, float tolerance)
{
    const Matrix id = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}};
    for (int i = 0; i < 12; ++i) {
        EXPECT_NEAR(m.m[i], id.m[i], tolerance) << "element " << i;
    }
}


} // namespace

TEST(Vector, LengthAndNormalizeOfZeroAreZero)
{
    const Vector zero = {0, 0, 0};
    EXPECT_EQ(vec_length(zero), 0.0f);
    Vector out = {5, 5, 5};
    EXPECT_EQ(vec_normalize(out, zero), 0.0f);
    expect_vector(out, 0, 0, 0, 0);

    Vector v = {3, 0, 4};
    EXPECT_FLOAT_EQ(vec_normalize(v), 5.0f);
    expect_vector(v, 0.6f, 0, 0.8f);
}

TEST(Vector, ProjectAndRejectPlane)
{
    Vector v = {2, 3, 4};
    vec_project(v, Vector{0, 0, 2}); // a.a = 4: divided
    expect_vector(v, 2, 3, 0);
    v = {2, 3, 4};
    vec_project(v, Vector{1, 0, 0}); // a.a exactly 1
    expect_vector(v, 0, 3, 4);
    v = {2, 3, 4};
    vec_project(v, Vector{0, 0, 0}); // unchanged
    expect_vector(v, 2, 3, 4, 0);

    v = {2, 3, 4};
    vec_reject_plane(v, Vector{1, 0, 0}, Vector{0, 1, 0}); // n = z
    expect_vector(v, 0, 0, 4);
    v = {2, 3, 4};
    vec_reject_plane(v, Vector{0, 2, 0}, Vector{0, 4, 0}); // parallel: project on a
    expect_vector(v, 2, 0, 4);
}

TEST(Vector, ComparisonsAndProducts)
{
    const Vector a = {1, 2, 3};
    Vector b = a;
    EXPECT_EQ(vec_equal(a, b), 1);
    EXPECT_EQ(vec_differs(a, b), 0);
    b.z = 3.5f;
    EXPECT_EQ(vec_equal(a, b), 0);
    EXPECT_EQ(vec_differs(a, b), 1);

    EXPECT_FLOAT_EQ(vec_triple(Vector{0, 0, 2}, Vector{1, 0, 0}, Vector{0, 1, 0}), 2.0f);
    Vector out;
    vec_cross_normalized_dot(out, Vector{0, 0, 2}, Vector{1, 0, 0}, Vector{0, 1, 0});
    expect_vector(out, 0, 0, 0.5f);

    Vector n;
    vec_negate(n, a);
    expect_vector(n, -1, -2, -3, 0);
    Vector s = a;
    vec_add_scaled(s, Vector{1, 1, 1}, 2);
    vec_sub(s, Vector{1, 0, 0});
    expect_vector(s, 2, 4, 5, 0);
}

TEST(Vector, PlaneAndSphere)
{
    Plane p;
    // normal = b x a: (0,1,0) x (1,0,0) = (0,0,-1)
    plane_from_vectors(p, Vector{0, 0, 3}, Vector{2, 0, 0}, Vector{0, 2, 0});
    expect_vector(p.normal, 0, 0, -1);
    EXPECT_FLOAT_EQ(p.d, 3.0f);
    EXPECT_FLOAT_EQ(plane_distance(p, Vector{5, 5, 1}), 2.0f);

    Sphere s;
    sphere_from_box(s, Vector{0, 0, 0}, Vector{2, 2, 1});
    expect_vector(s.centre, 1, 1, 0.5f, 0);
    EXPECT_FLOAT_EQ(s.radius, 1.5f);
}

TEST(ListNode, UnlinkFromMiddleAndEnd)
{
    ListNode* head = nullptr;
    ListNode a, b, c;
    // head -> a -> b -> c
    for (ListNode* n : {&c, &b, &a}) {
        n->next = head;
        n->back = &head;
        if (head != nullptr) {
            head->back = &n->next;
        }
        head = n;
    }
    list_unlink(b);
    EXPECT_EQ(head, &a);
    EXPECT_EQ(a.next, &c);
    EXPECT_EQ(c.back, &a.next);
    EXPECT_EQ(b.next, nullptr);
    EXPECT_EQ(b.back, nullptr);
    list_unlink(a);
    EXPECT_EQ(head, &c);
    list_unlink(c);
    EXPECT_EQ(head, nullptr);
    list_unlink(c); // unlinked already: nothing happens
}

TEST(Matrix, MultiplyAppliesSecondFirst)
{
    Matrix rot = {{0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0}}; // 90 degrees about z
    Matrix move;
    mat_translation(move, Vector{10, 0, 0});
    Matrix m;
    mat_multiply(m, move, rot); // rotate, then translate
    Vector p;
    mat_rotate_vector(p, m, Vector{1, 0, 0});
    expect_vector(p, 10, 1, 0);

    mat_multiply(m, rot, move); // translate, then rotate
    mat_rotate_vector(p, m, Vector{1, 0, 0});
    expect_vector(p, 0, 11, 0);

    mat_multiply(rot, rot, rot); // output aliasing an input
    const float half_turn[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
    expect_rotation(rot, half_turn);
}

TEST(Matrix, RowsColumnsAndInverseTranslation)
{
    Matrix m = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
    Vector v;
    mat_get_row1(v, m);
    expect_vector(v, 5, 6, 7, 0);
    mat_get_column2(v, m);
    expect_vector(v, 3, 7, 11, 0);
    mat_get_translation(v, m);
    expect_vector(v, 4, 8, 12, 0);

    Matrix r = {{0, -1, 0, 3, 1, 0, 0, 4, 0, 0, 1, 5}};
    mat_inverse_translation(v, r);
    expect_vector(v, -4, 3, -5, 0);
    // The inverse brings a mapped point back.
    Vector p;
    mat_rotate_vector(p, r, Vector{1, 2, 3});
    mat_unrotate_vector(p, r, p);
    vec_add(p, v);
    expect_vector(p, 1, 2, 3);
}

TEST(Matrix, FromDirection)
{
    Matrix m;
    mat_from_direction(m, Vector{5, 0, 0}); // parallel to x: the fallback rows
    const float fallback[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
    expect_rotation(m, fallback, 0);

    mat_from_direction(m, Vector{0, 0, 2});
    Vector u, s, f;
    mat_get_row0(u, m);
    mat_get_row1(s, m);
    mat_get_row2(f, m);
    expect_vector(f, 0, 0, 1);
    expect_vector(s, 0, 1, 0); // f x (1, 0, 0)
    expect_vector(u, 1, 0, 0); // s x f
    mat_from_direction(m, Vector{1, 2, 3});
    mat_get_row0(u, m);
    mat_get_row1(s, m);
    mat_get_row2(f, m);
    EXPECT_NEAR(vec_dot(u, s), 0, 1e-6f);
    EXPECT_NEAR(vec_dot(u, f), 0, 1e-6f);
    EXPECT_NEAR(vec_length(u), 1, 1e-6f);
    EXPECT_NEAR(vec_length(s), 1, 1e-6f);
}

TEST_F(WithSineTable, AnglesZeroAndQuarterTurn)
{
    Matrix m;
    mat_from_angles(m, Vector{1, 2, 3}, 0, 0, 0);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    expect_rotation(m, identity, 0);
    Vector t;
    mat_get_translation(t, m);
    expect_vector(t, 1, 2, 3, 0);

    EXPECT_EQ(table_.index(PI / 2), 1024);
    mat_from_angles(m, Vector{0, 0, 0}, PI / 2, 0, 0);
    const float quarter[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    expect_rotation(m, quarter);
}

TEST_F(WithSineTable, InverseFormsUndoTheTableForms)
{
    struct Case {
        const char* why;
        float a, b, c;
        bool alt;
    };
    const Case cases[] = {
        {"all three angles", 0.3f, -1.1f, 2.5f, false},
        {"large angles wrap through the mask", 40.0f, -33.0f, 7.0f, false},
        {"second order", 0.3f, -1.1f, 2.5f, true},
        {"second order, one angle", 0.0f, 1.0f, 0.0f, true},
    };
    const Vector p = {3, -4, 5};
    for (const Case& c : cases) {
        Matrix m, inv, product;
        if (c.alt) {
            mat_from_angles_alt(m, p, c.a, c.b, c.c);
            mat_from_angles_alt_inv(inv, p, c.a, c.b, c.c);
        } else {
            mat_from_angles(m, p, c.a, c.b, c.c);
            mat_from_angles_inv(inv, p, c.a, c.b, c.c);
        }
        mat_multiply(product, inv, m);
        SCOPED_TRACE(c.why);
        // The table's step is 2 pi / 4096: the forms agree to about that.
        expect_identity(product, 4e-3f);
    }
}

TEST_F(WithSineTable, NanAngleStaysInsideTheTable)
{
    Matrix m;
    mat_from_angles(m, Vector{0, 0, 0}, std::nanf(""), 1e30f, -1e30f);
    for (float f : m.m) {
        EXPECT_FALSE(std::isnan(f));
    }
}
