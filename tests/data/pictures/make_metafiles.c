/* Writes the metafile samples with libuemf's record writers:
 *   shapes.emf     enhanced metafile, 200 x 150 pixels at 96 per inch
 *   shapes.wmf     placeable WMF (D7 CD ...), the same drawing
 *   shapes_std.wmf the same WMF without the placeable header (01 00 ...)
 * A white field, a red rectangle on the left, a blue ellipse on the right.
 *   clear.emf, clear.wmf  320 x 240 pixels, drawn in transparent background
 *                  mode without outlines, in colours between the primaries:
 *                  twins that must look the same (the WMF placeable, at
 *                  1000 units per inch).
 * Build: cc make_metafiles.c -luemf -o make_metafiles && ./make_metafiles
 * (needs libuemf-dev; only for remaking the committed samples). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uemf.h>
#include <uwmf.h>

/* Opens an EMF of width x height pixels at 96 per inch: bounds in pixels,
 * frame in hundredths of a millimetre (200 px = 5292). */
static int emf_begin(const char* name, int width, int height, EMFTRACK** et, EMFHANDLES** eht)
{
    if (emf_start(name, 10000, 1000, et) || emf_htable_create(16, 16, eht)) return 1;
    U_RECTL bounds = rectl_set(point32_set(0, 0), point32_set(width - 1, height - 1));
    U_RECTL frame = rectl_set(point32_set(0, 0), point32_set((width * 2540 + 48) / 96, (height * 2540 + 48) / 96));
    emf_append((PU_ENHMETARECORD)U_EMRHEADER_set(bounds, frame, NULL, 0, NULL, sizel_set(1024, 768),
                                                 sizel_set(271, 203), 0), *et, 1);
    return 0;
}

static int make_emf(void)
{
    EMFTRACK* et = NULL;
    EMFHANDLES* eht = NULL;
    uint32_t brush;
    if (emf_begin("shapes.emf", 200, 150, &et, &eht)) return 1;
    emf_append((PU_ENHMETARECORD)createbrushindirect_set(&brush, eht, logbrush_set(U_BS_SOLID, U_RGB(255, 255, 255), 0)), et, 1);
    emf_append((PU_ENHMETARECORD)selectobject_set(brush, eht), et, 1);
    emf_append((PU_ENHMETARECORD)U_EMRRECTANGLE_set(rectl_set(point32_set(0, 0), point32_set(199, 149))), et, 1);
    emf_append((PU_ENHMETARECORD)createbrushindirect_set(&brush, eht, logbrush_set(U_BS_SOLID, U_RGB(255, 0, 0), 0)), et, 1);
    emf_append((PU_ENHMETARECORD)selectobject_set(brush, eht), et, 1);
    emf_append((PU_ENHMETARECORD)U_EMRRECTANGLE_set(rectl_set(point32_set(10, 10), point32_set(90, 140))), et, 1);
    emf_append((PU_ENHMETARECORD)createbrushindirect_set(&brush, eht, logbrush_set(U_BS_SOLID, U_RGB(0, 0, 255), 0)), et, 1);
    emf_append((PU_ENHMETARECORD)selectobject_set(brush, eht), et, 1);
    emf_append((PU_ENHMETARECORD)U_EMRELLIPSE_set(rectl_set(point32_set(110, 20), point32_set(190, 130))), et, 1);
    emf_append((PU_ENHMETARECORD)U_EMREOF_set(0, NULL, et), et, 1);
    emf_finish(et, eht);
    emf_free(&et);
    emf_htable_free(&eht);
    return 0;
}

static int make_wmf(const char* name, int placeable)
{
    WMFTRACK* wt = NULL;
    WMFHANDLES* wht = NULL;
    uint32_t brush;
    if (wmf_start(name, 10000, 1000, &wt) || wmf_htable_create(16, 16, &wht)) return 1;
    /* The placeable header's size is given in inches: 200 x 150 at 96 per inch. */
    U_PAIRF* size = placeable ? U_PAIRF_set(200.0f / 96.0f, 150.0f / 96.0f) : NULL;
    wmf_header_append((U_METARECORD*)U_WMRHEADER_set(size, 96), wt, 1);
    free(size);
    wmf_append((U_METARECORD*)U_WMRSETWINDOWORG_set(point16_set(0, 0)), wt, 1);
    wmf_append((U_METARECORD*)U_WMRSETWINDOWEXT_set(point16_set(200, 150)), wt, 1);
    wmf_append((U_METARECORD*)wcreatebrushindirect_set(&brush, wht, U_WLOGBRUSH_set(U_BS_SOLID, U_RGB(255, 255, 255), 0)), wt, 1);
    wmf_append((U_METARECORD*)wselectobject_set(brush, wht), wt, 1);
    wmf_append((U_METARECORD*)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(0, 0), point16_set(200, 150))), wt, 1);
    wmf_append((U_METARECORD*)wcreatebrushindirect_set(&brush, wht, U_WLOGBRUSH_set(U_BS_SOLID, U_RGB(255, 0, 0), 0)), wt, 1);
    wmf_append((U_METARECORD*)wselectobject_set(brush, wht), wt, 1);
    wmf_append((U_METARECORD*)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(10, 10), point16_set(90, 140))), wt, 1);
    wmf_append((U_METARECORD*)wcreatebrushindirect_set(&brush, wht, U_WLOGBRUSH_set(U_BS_SOLID, U_RGB(0, 0, 255), 0)), wt, 1);
    wmf_append((U_METARECORD*)wselectobject_set(brush, wht), wt, 1);
    wmf_append((U_METARECORD*)U_WMRELLIPSE_set(U_RECT16_set(point16_set(110, 20), point16_set(190, 130))), wt, 1);
    wmf_append((U_METARECORD*)U_WMREOF_set(), wt, 1);
    wmf_finish(wt);
    wmf_free(&wt);
    wmf_htable_free(&wht);
    return 0;
}

/* The fills of the clear pair: a field, a rectangle, an ellipse, a triangle. */
static const unsigned char clear_rgb[4][3] = {{0xf7, 0xf1, 0xe3}, {0x1f, 0x77, 0xb4}, {0xff, 0x7f, 0x0e},
                                              {0x2c, 0xa0, 0x2c}};
#define CLEAR_COLOUR(i) U_RGB(clear_rgb[i][0], clear_rgb[i][1], clear_rgb[i][2])
static const U_POINT16 clear_triangle[3] = {{40, 230}, {160, 150}, {280, 230}};

static int make_clear_emf(void)
{
    EMFTRACK* et = NULL;
    EMFHANDLES* eht = NULL;
    uint32_t pen, brush;
    U_POINTL triangle[3];
    int i;
    if (emf_begin("clear.emf", 320, 240, &et, &eht)) return 1;
    emf_append((PU_ENHMETARECORD)U_EMRSETBKMODE_set(U_TRANSPARENT), et, 1);
    emf_append((PU_ENHMETARECORD)createpen_set(&pen, eht, logpen_set(U_PS_NULL, point_set(0, 0), U_RGB(0, 0, 0))), et, 1);
    emf_append((PU_ENHMETARECORD)selectobject_set(pen, eht), et, 1);
    for (i = 0; i < 4; ++i) {
        emf_append((PU_ENHMETARECORD)createbrushindirect_set(&brush, eht, logbrush_set(U_BS_SOLID, CLEAR_COLOUR(i), 0)), et, 1);
        emf_append((PU_ENHMETARECORD)selectobject_set(brush, eht), et, 1);
        if (i == 0) emf_append((PU_ENHMETARECORD)U_EMRRECTANGLE_set(rectl_set(point32_set(0, 0), point32_set(320, 240))), et, 1);
        if (i == 1) emf_append((PU_ENHMETARECORD)U_EMRRECTANGLE_set(rectl_set(point32_set(20, 20), point32_set(150, 140))), et, 1);
        if (i == 2) emf_append((PU_ENHMETARECORD)U_EMRELLIPSE_set(rectl_set(point32_set(180, 20), point32_set(300, 140))), et, 1);
        if (i == 3) {
            int k;
            for (k = 0; k < 3; ++k) triangle[k] = point32_set(clear_triangle[k].x, clear_triangle[k].y);
            emf_append((PU_ENHMETARECORD)U_EMRPOLYGON_set(rectl_set(point32_set(40, 150), point32_set(280, 230)), 3, triangle), et, 1);
        }
    }
    emf_append((PU_ENHMETARECORD)U_EMREOF_set(0, NULL, et), et, 1);
    emf_finish(et, eht);
    emf_free(&et);
    emf_htable_free(&eht);
    return 0;
}

static int make_clear_wmf(void)
{
    WMFTRACK* wt = NULL;
    WMFHANDLES* wht = NULL;
    uint32_t pen, brush;
    int i;
    if (wmf_start("clear.wmf", 10000, 1000, &wt) || wmf_htable_create(16, 16, &wht)) return 1;
    /* 1000 units per inch, as some writers use: 320 pixels are 3333 units. */
    U_PAIRF* size = U_PAIRF_set(320.0f / 96.0f, 240.0f / 96.0f);
    wmf_header_append((U_METARECORD*)U_WMRHEADER_set(size, 1000), wt, 1);
    free(size);
    wmf_append((U_METARECORD*)U_WMRSETWINDOWORG_set(point16_set(0, 0)), wt, 1);
    wmf_append((U_METARECORD*)U_WMRSETWINDOWEXT_set(point16_set(320, 240)), wt, 1);
    wmf_append((U_METARECORD*)U_WMRSETBKMODE_set(U_TRANSPARENT), wt, 1);
    wmf_append((U_METARECORD*)wcreatepenindirect_set(&pen, wht, U_PEN_set(U_PS_NULL, 0, U_RGB(0, 0, 0))), wt, 1);
    wmf_append((U_METARECORD*)wselectobject_set(pen, wht), wt, 1);
    for (i = 0; i < 4; ++i) {
        wmf_append((U_METARECORD*)wcreatebrushindirect_set(&brush, wht, U_WLOGBRUSH_set(U_BS_SOLID, CLEAR_COLOUR(i), 0)), wt, 1);
        wmf_append((U_METARECORD*)wselectobject_set(brush, wht), wt, 1);
        if (i == 0) wmf_append((U_METARECORD*)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(0, 0), point16_set(320, 240))), wt, 1);
        if (i == 1) wmf_append((U_METARECORD*)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(20, 20), point16_set(150, 140))), wt, 1);
        if (i == 2) wmf_append((U_METARECORD*)U_WMRELLIPSE_set(U_RECT16_set(point16_set(180, 20), point16_set(300, 140))), wt, 1);
        if (i == 3) wmf_append((U_METARECORD*)U_WMRPOLYGON_set(3, clear_triangle), wt, 1);
    }
    wmf_append((U_METARECORD*)U_WMREOF_set(), wt, 1);
    wmf_finish(wt);
    wmf_free(&wt);
    wmf_htable_free(&wht);
    return 0;
}

int main(void)
{
    return make_emf() || make_wmf("shapes.wmf", 1) || make_wmf("shapes_std.wmf", 0) || make_clear_emf() ||
           make_clear_wmf();
}
