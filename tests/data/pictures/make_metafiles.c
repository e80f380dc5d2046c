/* Writes the metafile samples with libuemf's record writers:
 *   shapes.emf     enhanced metafile, 200 x 150 pixels at 96 per inch
 *   shapes.wmf     placeable WMF (D7 CD ...), the same drawing
 *   shapes_std.wmf the same WMF without the placeable header (01 00 ...)
 * A white field, a red rectangle on the left, a blue ellipse on the right.
 * Build: cc make_metafiles.c -luemf -o make_metafiles && ./make_metafiles
 * (needs libuemf-dev; only for remaking the committed samples). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uemf.h>
#include <uwmf.h>

static int make_emf(void)
{
    EMFTRACK* et = NULL;
    EMFHANDLES* eht = NULL;
    uint32_t brush;
    if (emf_start("shapes.emf", 10000, 1000, &et) || emf_htable_create(16, 16, &eht)) return 1;
    /* Bounds in pixels, frame in hundredths of a millimetre (200 px = 5292). */
    U_RECTL bounds = rectl_set(point32_set(0, 0), point32_set(199, 149));
    U_RECTL frame = rectl_set(point32_set(0, 0), point32_set(5292, 3969));
    emf_append((PU_ENHMETARECORD)U_EMRHEADER_set(bounds, frame, NULL, 0, NULL, sizel_set(1024, 768),
                                                 sizel_set(271, 203), 0), et, 1);
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

int main(void)
{
    return make_emf() || make_wmf("shapes.wmf", 1) || make_wmf("shapes_std.wmf", 0);
}
