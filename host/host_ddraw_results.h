#pragma once
// Result codes of the emulated DirectDraw device, with the values of the
// interface it stands in for.
#include <cstdint>

namespace host::ddraw {

using Result = uint32_t;

constexpr Result dd_result(uint32_t code) { return 0x88760000u | code; }

constexpr Result DD_OK = 0u;
constexpr Result DDERR_UNSUPPORTED = 0x80004001u;
constexpr Result DDERR_GENERIC = 0x80004005u;
constexpr Result DDERR_NOTINITIALIZED = 0x800401F0u;
constexpr Result DDERR_OUTOFMEMORY = 0x8007000Eu;
constexpr Result DDERR_INVALIDPARAMS = 0x80070057u;
constexpr Result DDERR_CANNOTDETACHSURFACE = dd_result(20);
constexpr Result DDERR_CURRENTLYNOTAVAIL = dd_result(40);
constexpr Result DDERR_EXCEPTION = dd_result(55);
constexpr Result DDERR_HEIGHTALIGN = dd_result(90);
constexpr Result DDERR_ALREADYINITIALIZED = dd_result(5);
constexpr Result DDERR_CANNOTATTACHSURFACE = dd_result(10);
constexpr Result DDERR_INCOMPATIBLEPRIMARY = dd_result(95);
constexpr Result DDERR_INVALIDCAPS = dd_result(100);
constexpr Result DDERR_INVALIDCLIPLIST = dd_result(110);
constexpr Result DDERR_INVALIDMODE = dd_result(120);
constexpr Result DDERR_INVALIDOBJECT = dd_result(130);
constexpr Result DDERR_INVALIDPIXELFORMAT = dd_result(145);
constexpr Result DDERR_INVALIDRECT = dd_result(150);
constexpr Result DDERR_NOALPHAHW = dd_result(180);
constexpr Result DDERR_NOCLIPLIST = dd_result(205);
constexpr Result DDERR_NOCOLORCONVHW = dd_result(210);
constexpr Result DDERR_NOCOOPERATIVELEVELSET = dd_result(212);
constexpr Result DDERR_LOCKEDSURFACES = dd_result(160);
constexpr Result DDERR_NO3D = dd_result(170);
constexpr Result DDERR_NOCOLORKEY = dd_result(215);
constexpr Result DDERR_NOCOLORKEYHW = dd_result(220);
constexpr Result DDERR_NODIRECTDRAWSUPPORT = dd_result(222);
constexpr Result DDERR_NOEXCLUSIVEMODE = dd_result(225);
constexpr Result DDERR_NOFLIPHW = dd_result(230);
constexpr Result DDERR_NOGDI = dd_result(240);
constexpr Result DDERR_NOMIRRORHW = dd_result(250);
constexpr Result DDERR_NORASTEROPHW = dd_result(280);
constexpr Result DDERR_NOROTATIONHW = dd_result(290);
constexpr Result DDERR_NOSTRETCHHW = dd_result(310);
constexpr Result DDERR_NOT4BITCOLOR = dd_result(316);
constexpr Result DDERR_NOTFOUND = dd_result(255);
constexpr Result DDERR_NOOVERLAYHW = dd_result(260);
constexpr Result DDERR_NOT4BITCOLORINDEX = dd_result(317);
constexpr Result DDERR_NOT8BITCOLOR = dd_result(320);
constexpr Result DDERR_NOTEXTUREHW = dd_result(330);
constexpr Result DDERR_NOVSYNCHW = dd_result(335);
constexpr Result DDERR_NOZBUFFERHW = dd_result(340);
constexpr Result DDERR_NOZOVERLAYHW = dd_result(350);
constexpr Result DDERR_OUTOFCAPS = dd_result(360);
constexpr Result DDERR_OVERLAYCOLORKEYONLYONEACTIVE = dd_result(384);
constexpr Result DDERR_PALETTEBUSY = dd_result(387);
constexpr Result DDERR_COLORKEYNOTSET = dd_result(400);
constexpr Result DDERR_SURFACEALREADYATTACHED = dd_result(410);
constexpr Result DDERR_OUTOFVIDEOMEMORY = dd_result(380);
constexpr Result DDERR_OVERLAYCANTCLIP = dd_result(382);
constexpr Result DDERR_SURFACEALREADYDEPENDENT = dd_result(420);
constexpr Result DDERR_XALIGN = dd_result(560);
constexpr Result DDERR_DIRECTDRAWALREADYCREATED = dd_result(562);
constexpr Result DDERR_INVALIDDIRECTDRAWGUID = dd_result(561);
constexpr Result DDERR_NODIRECTDRAWHW = dd_result(563);
constexpr Result DDERR_NOEMULATION = dd_result(565);
constexpr Result DDERR_PRIMARYSURFACEALREADYEXISTS = dd_result(564);
constexpr Result DDERR_REGIONTOOSMALL = dd_result(566);
constexpr Result DDERR_NOCLIPPERATTACHED = dd_result(568);
constexpr Result DDERR_CLIPPERISUSINGHWND = dd_result(567);
constexpr Result DDERR_NOHWND = dd_result(569);
constexpr Result DDERR_HWNDSUBCLASSED = dd_result(570);
constexpr Result DDERR_NOPALETTEATTACHED = dd_result(572);
constexpr Result DDERR_HWNDALREADYSET = dd_result(571);
constexpr Result DDERR_SURFACEBUSY = dd_result(430);
constexpr Result DDERR_CANTLOCKSURFACE = dd_result(435);
constexpr Result DDERR_SURFACEISOBSCURED = dd_result(440);
constexpr Result DDERR_SURFACELOST = dd_result(450);
constexpr Result DDERR_SURFACENOTATTACHED = dd_result(460);
constexpr Result DDERR_TOOBIGHEIGHT = dd_result(470);
constexpr Result DDERR_UNSUPPORTEDFORMAT = dd_result(510);
constexpr Result DDERR_UNSUPPORTEDMASK = dd_result(520);
constexpr Result DDERR_VERTICALBLANKINPROGRESS = dd_result(537);
constexpr Result DDERR_WASSTILLDRAWING = dd_result(540);
constexpr Result DDERR_TOOBIGSIZE = dd_result(480);
constexpr Result DDERR_TOOBIGWIDTH = dd_result(490);
constexpr Result DDERR_NOPALETTEHW = dd_result(573);
constexpr Result DDERR_NOBLTHW = dd_result(575);
constexpr Result DDERR_BLTFASTCANTCLIP = dd_result(574);
constexpr Result DDERR_NODDROPSHW = dd_result(576);
constexpr Result DDERR_NOOVERLAYDEST = dd_result(578);
constexpr Result DDERR_OVERLAYNOTVISIBLE = dd_result(577);
constexpr Result DDERR_INVALIDPOSITION = dd_result(579);
constexpr Result DDERR_EXCLUSIVEMODEALREADYSET = dd_result(581);
constexpr Result DDERR_NOTAOVERLAYSURFACE = dd_result(580);
constexpr Result DDERR_NOTFLIPPABLE = dd_result(582);
constexpr Result DDERR_CANTDUPLICATE = dd_result(583);
constexpr Result DDERR_CANTCREATEDC = dd_result(585);
constexpr Result DDERR_NOTLOCKED = dd_result(584);
constexpr Result DDERR_NODC = dd_result(586);
constexpr Result DDERR_IMPLICITLYCREATED = dd_result(588);
constexpr Result DDERR_WRONGMODE = dd_result(587);
constexpr Result DDERR_NOTPALETTIZED = dd_result(589);
constexpr Result DDERR_UNSUPPORTEDMODE = dd_result(590);
constexpr Result DDERR_NOMIPMAPHW = dd_result(591);
constexpr Result DDERR_INVALIDSURFACETYPE = dd_result(592);
constexpr Result DDERR_DCALREADYCREATED = dd_result(620);
constexpr Result DDERR_CANTPAGELOCK = dd_result(640);
constexpr Result DDERR_CANTPAGEUNLOCK = dd_result(660);
constexpr Result DDERR_NOTPAGELOCKED = dd_result(680);
constexpr Result DDERR_MOREDATA = dd_result(690);
constexpr Result DDERR_VIDEONOTACTIVE = dd_result(695);
constexpr Result DDERR_DEVICEDOESNTOWNSURFACE = dd_result(699);

} // namespace host::ddraw
