#include "soft/ddraw_errors.h"

#include "host/host_ddraw_results.h"

using namespace host::ddraw;

namespace {

struct ErrorText {
    Result code;
    const char* text;
};

constexpr ErrorText ERROR_TEXTS[] = {
    {DD_OK, "DD_OK - No error"},
    {DDERR_UNSUPPORTED, "DDERR_UNSUPPORTED - Action not supported"},
    {DDERR_GENERIC, "DDERR_GENERIC - Generic failure"},
    {DDERR_NOTINITIALIZED, "DDERR_NOTINITIALIZED - DirectDraw object not initialized"},
    {DDERR_OUTOFMEMORY, "DDERR_OUTOFMEMORY - DirectDraw ran out of memory"},
    {DDERR_INVALIDPARAMS, "DDERR_INVALIDPARAMS - Invalid parameters"},
    {DDERR_CANNOTDETACHSURFACE, "DDERR_CANNOTDETACHSURFACE - Can't detach surface"},
    {DDERR_CURRENTLYNOTAVAIL, "DDERR_CURRENTLYNOTAVAIL - Support is currently not available"},
    {DDERR_EXCEPTION, "DDERR_EXCEPTION - Exception encountered"},
    {DDERR_HEIGHTALIGN, "DDERR_HEIGHTALIGN - Height of rectangle is not a multiple of the required alignment"},
    {DDERR_ALREADYINITIALIZED, "DDERR_ALREADYINITIALIZED - Object already initialized"},
    {DDERR_CANNOTATTACHSURFACE, "DDERR_CANNOTATTACHSURFACE - Can't attach surface"},
    {DDERR_INCOMPATIBLEPRIMARY, "DDERR_INCOMPATIBLEPRIMARY - Incompatible primary surface"},
    {DDERR_INVALIDCAPS, "DDERR_INVALIDCAPS - Invalid capabilities"},
    {DDERR_INVALIDCLIPLIST, "DDERR_INVALIDCLIPLIST - Invalid clip list"},
    {DDERR_INVALIDMODE, "DDERR_INVALIDMODE - Requested mode is unsupported"},
    {DDERR_INVALIDOBJECT, "DDERR_INVALIDOBJECT - Invalid DirectDraw object"},
    {DDERR_INVALIDPIXELFORMAT, "DDERR_INVALIDPIXELFORMAT - Invalid pixel format"},
    {DDERR_INVALIDRECT, "DDERR_INVALIDRECT - Invalid rectangle"},
    {DDERR_NOALPHAHW, "DDERR_NOALPHAHW - No alpha acceleration hardware"},
    {DDERR_NOCLIPLIST, "DDERR_NOCLIPLIST - No clip list available"},
    {DDERR_NOCOLORCONVHW, "DDERR_NOCOLORCONVHW - No color conversion hardware"},
    {DDERR_NOCOOPERATIVELEVELSET, "DDERR_NOCOOPERATIVELEVELSET - No cooperative level set"},
    {DDERR_LOCKEDSURFACES, "DDERR_LOCKEDSURFACES - Surfaces are locked"},
    {DDERR_NO3D, "DDERR_NO3D - No 3D hardware or emulation"},
    {DDERR_NOCOLORKEY, "DDERR_NOCOLORKEY - Surface has no color key"},
    {DDERR_NOCOLORKEYHW, "DDERR_NOCOLORKEYHW - No color key hardware"},
    {DDERR_NODIRECTDRAWSUPPORT, "DDERR_NODIRECTDRAWSUPPORT - DirectDraw not supported by this display driver"},
    {DDERR_NOEXCLUSIVEMODE, "DDERR_NOEXCLUSIVEMODE - Exclusive mode required"},
    {DDERR_NOFLIPHW, "DDERR_NOFLIPHW - Flipping not supported by hardware"},
    {DDERR_NOGDI, "DDERR_NOGDI - No GDI present"},
    {DDERR_NOMIRRORHW, "DDERR_NOMIRRORHW - No mirroring hardware"},
    {DDERR_NORASTEROPHW, "DDERR_NORASTEROPHW - No raster operation hardware"},
    {DDERR_NOROTATIONHW, "DDERR_NOROTATIONHW - No rotation hardware"},
    {DDERR_NOSTRETCHHW, "DDERR_NOSTRETCHHW - No stretching hardware"},
    {DDERR_NOT4BITCOLOR, "DDERR_NOT4BITCOLOR - Surface is not 4-bit color palettized"},
    {DDERR_NOTFOUND, "DDERR_NOTFOUND - Requested item not found"},
    {DDERR_NOOVERLAYHW, "DDERR_NOOVERLAYHW - No overlay hardware"},
    {DDERR_NOT4BITCOLORINDEX, "DDERR_NOT4BITCOLORINDEX - Surface is not 4-bit color index palettized"},
    {DDERR_NOT8BITCOLOR, "DDERR_NOT8BITCOLOR - Surface is not 8-bit color palettized"},
    {DDERR_NOTEXTUREHW, "DDERR_NOTEXTUREHW - No texture mapping hardware"},
    {DDERR_NOVSYNCHW, "DDERR_NOVSYNCHW - No vertical blank synchronization hardware"},
    {DDERR_NOZBUFFERHW, "DDERR_NOZBUFFERHW - No Z-buffer hardware"},
    {DDERR_NOZOVERLAYHW, "DDERR_NOZOVERLAYHW - No Z-ordered overlay hardware"},
    {DDERR_OUTOFCAPS, "DDERR_OUTOFCAPS - Hardware capability already allocated"},
    {DDERR_OVERLAYCOLORKEYONLYONEACTIVE, "DDERR_OVERLAYCOLORKEYONLYONEACTIVE - Only one overlay color key can be active"},
    {DDERR_PALETTEBUSY, "DDERR_PALETTEBUSY - Palette is locked by another thread"},
    {DDERR_COLORKEYNOTSET, "DDERR_COLORKEYNOTSET - No source color key set"},
    {DDERR_SURFACEALREADYATTACHED, "DDERR_SURFACEALREADYATTACHED - Surface already attached"},
    {DDERR_OUTOFVIDEOMEMORY, "DDERR_OUTOFVIDEOMEMORY - DirectDraw ran out of video memory"},
    {DDERR_OVERLAYCANTCLIP, "DDERR_OVERLAYCANTCLIP - Overlay can't be clipped"},
    {DDERR_SURFACEALREADYDEPENDENT, "DDERR_SURFACEALREADYDEPENDENT - Surface already a dependency"},
    {DDERR_XALIGN, "DDERR_XALIGN - Rectangle not horizontally aligned"},
    {DDERR_DIRECTDRAWALREADYCREATED, "DDERR_DIRECTDRAWALREADYCREATED - DirectDraw object already created for this process"},
    {DDERR_INVALIDDIRECTDRAWGUID, "DDERR_INVALIDDIRECTDRAWGUID - Invalid DirectDraw device GUID"},
    {DDERR_NODIRECTDRAWHW, "DDERR_NODIRECTDRAWHW - No DirectDraw hardware"},
    {DDERR_NOEMULATION, "DDERR_NOEMULATION - Software emulation not available"},
    {DDERR_PRIMARYSURFACEALREADYEXISTS, "DDERR_PRIMARYSURFACEALREADYEXISTS - Primary surface already exists"},
    {DDERR_REGIONTOOSMALL, "DDERR_REGIONTOOSMALL - Region too small"},
    {DDERR_NOCLIPPERATTACHED, "DDERR_NOCLIPPERATTACHED - No clipper attached"},
    {DDERR_CLIPPERISUSINGHWND, "DDERR_CLIPPERISUSINGHWND - Clipper is using a window handle"},
    {DDERR_NOHWND, "DDERR_NOHWND - No window handle set"},
    {DDERR_HWNDSUBCLASSED, "DDERR_HWNDSUBCLASSED - Window already subclassed"},
    {DDERR_NOPALETTEATTACHED, "DDERR_NOPALETTEATTACHED - No palette attached"},
    {DDERR_HWNDALREADYSET, "DDERR_HWNDALREADYSET - Window handle already set"},
    {DDERR_SURFACEBUSY, "DDERR_SURFACEBUSY - Surface is busy"},
    {DDERR_CANTLOCKSURFACE, "DDERR_CANTLOCKSURFACE - Can't lock surface - no DCI provider? [Wrong or no driver]"},
    {DDERR_SURFACEISOBSCURED, "DDERR_SURFACEISOBSCURED - Surface is obscured"},
    {DDERR_SURFACELOST, "DDERR_SURFACELOST - Surface lost"},
    {DDERR_SURFACENOTATTACHED, "DDERR_SURFACENOTATTACHED - Surface not attached"},
    {DDERR_TOOBIGHEIGHT, "DDERR_TOOBIGHEIGHT - Requested height too big"},
    {DDERR_UNSUPPORTEDFORMAT, "DDERR_UNSUPPORTEDFORMAT - Pixel format not supported"},
    {DDERR_UNSUPPORTEDMASK, "DDERR_UNSUPPORTEDMASK - Bit mask not supported"},
    {DDERR_VERTICALBLANKINPROGRESS, "DDERR_VERTICALBLANKINPROGRESS - Vertical blank in progress"},
    {DDERR_WASSTILLDRAWING, "DDERR_WASSTILLDRAWING - Still performing Blit"},
    {DDERR_TOOBIGSIZE, "DDERR_TOOBIGSIZE - Requested size too big"},
    {DDERR_TOOBIGWIDTH, "DDERR_TOOBIGWIDTH - Requested width too big"},
    {DDERR_NOPALETTEHW, "DDERR_NOPALETTEHW - No palette hardware"},
    {DDERR_NOBLTHW, "DDERR_NOBLTHW - No blitter hardware"},
    {DDERR_BLTFASTCANTCLIP, "DDERR_BLTFASTCANTCLIP - Fast blit can't clip"},
    {DDERR_NODDROPSHW, "DDERR_NODDROPSHW - No raster operation hardware for DirectDraw"},
    {DDERR_NOOVERLAYDEST, "DDERR_NOOVERLAYDEST - Overlay has no destination"},
    {DDERR_OVERLAYNOTVISIBLE, "DDERR_OVERLAYNOTVISIBLE - Overlay not visible"},
    {DDERR_INVALIDPOSITION, "DDERR_INVALIDPOSITION - Invalid overlay position"},
    {DDERR_EXCLUSIVEMODEALREADYSET, "DDERR_EXCLUSIVEMODEALREADYSET - Exclusive mode already set"},
    {DDERR_NOTAOVERLAYSURFACE, "DDERR_NOTAOVERLAYSURFACE - Not an overlay surface"},
    {DDERR_NOTFLIPPABLE, "DDERR_NOTFLIPPABLE - Surface can't be flipped"},
    {DDERR_CANTDUPLICATE, "DDERR_CANTDUPLICATE - Surface can't be duplicated"},
    {DDERR_CANTCREATEDC, "DDERR_CANTCREATEDC - Can't create device context"},
    {DDERR_NOTLOCKED, "DDERR_NOTLOCKED - Surface not locked"},
    {DDERR_NODC, "DDERR_NODC - No device context for surface"},
    {DDERR_IMPLICITLYCREATED, "DDERR_IMPLICITLYCREATED - Surface was created implicitly"},
    {DDERR_WRONGMODE, "DDERR_WRONGMODE - Surface belongs to another display mode"},
    {DDERR_NOTPALETTIZED, "DDERR_NOTPALETTIZED - Surface is not palettized"},
    {DDERR_UNSUPPORTEDMODE, "DDERR_UNSUPPORTEDMODE - Display is in an unsupported mode"},
    {DDERR_NOMIPMAPHW, "DDERR_NOMIPMAPHW - No mipmap hardware"},
    {DDERR_INVALIDSURFACETYPE, "DDERR_INVALIDSURFACETYPE - Invalid surface type"},
    {DDERR_DCALREADYCREATED, "DDERR_DCALREADYCREATED - Device context already created for surface"},
    {DDERR_CANTPAGELOCK, "DDERR_CANTPAGELOCK - Can't page-lock surface"},
    {DDERR_CANTPAGEUNLOCK, "DDERR_CANTPAGEUNLOCK - Can't page-unlock surface"},
    {DDERR_NOTPAGELOCKED, "DDERR_NOTPAGELOCKED - Surface not page-locked"},
    {DDERR_MOREDATA, "DDERR_MOREDATA - More data than the buffer holds"},
    {DDERR_VIDEONOTACTIVE, "DDERR_VIDEONOTACTIVE - Video port not active"},
    {DDERR_DEVICEDOESNTOWNSURFACE, "DDERR_DEVICEDOESNTOWNSURFACE - Device doesn't own the surface"},
};

} // namespace

const char* ddraw_error_text(uint32_t result)
{
    for (const ErrorText& e : ERROR_TEXTS) {
        if (e.code == result) {
            return e.text;
        }
    }
    return "Unknown error";
}
