#include "tools/help.h"

namespace quarn {

const char kToolHelp[] =
    "usage: quarn COMMAND [options] FILE...\n"
    "\n"
    "quarn codes a colour image into an embedded stream of an exact length:\n"
    "any prefix of the stream decodes to a coarser picture.\n"
    "\n"
    "commands:\n"
    "  encode IN OUT      encode a PNG, PNM or PAM image into a stream file\n"
    "  decode IN OUT      decode a stream file, or a prefix of it, to PNG or PPM\n"
    "  info FILE          show the size, length and header of a stream file\n"
    "  compare A B        PSNR and largest difference of two images\n"
    "  ladder IN OUT.png  one sheet of the image decoded at several rates\n"
    "\n"
    "  quarn COMMAND --help   the options of one command\n"
    "  quarn --version        the version\n"
    "\n"
    "A file name of \"-\" means stdin or stdout. Exit status: 0 on success,\n"
    "1 for bad input or a file that cannot be read or written, 2 for a\n"
    "command line that cannot be followed.\n";

const char kEncodeHelp[] =
    "usage: quarn encode IN OUT [-b R] [-v] [--no-simd]\n"
    "\n"
    "Encodes the image IN into the stream file OUT: 4 bytes of size (width,\n"
    "height; big-endian 16-bit each), then exactly B stream bytes, B being\n"
    "R x width x height / 8 rounded down. IN is a PNG of any colour type and\n"
    "bit depth, a binary PNM (P5, P6) or a PAM, 32 to 8192 pixels each way.\n"
    "Alpha is ignored, grey becomes RGB, 16-bit samples keep their high byte.\n"
    "\n"
    "options:\n"
    "  -b, --bitrate R   bits per pixel (default 0.5); positive, at most 64,\n"
    "                    and enough for the 27-byte stream header\n"
    "  -v, --verbose     report the size, bytes and time on stderr\n"
    "  --no-simd         use only the scalar kernels (same bytes, slower)\n"
    "\n"
    "example: quarn encode photo.png photo.qrn -b 0.25\n";

const char kDecodeHelp[] =
    "usage: quarn decode IN OUT [-b R] [-f png|ppm] [-v] [--no-simd]\n"
    "\n"
    "Decodes the stream file IN into the image OUT. Without -b the whole\n"
    "stream is decoded; with -b only the prefix that R bits per pixel cover,\n"
    "which gives a coarser picture from the same file (a rate above the\n"
    "file's own decodes the whole stream). OUT's extension picks the format:\n"
    ".png, or .ppm/.pnm; \"-\" writes PNG to stdout.\n"
    "\n"
    "options:\n"
    "  -b, --bitrate R     bits per pixel to decode (default: all of them)\n"
    "  -f, --format FMT    png or ppm, whatever OUT is called\n"
    "  -v, --verbose       report the size, bytes and time on stderr\n"
    "  --no-simd           use only the scalar kernels (same bytes, slower)\n"
    "\n"
    "example: quarn decode photo.qrn preview.png -b 0.1\n";

const char kInfoHelp[] =
    "usage: quarn info FILE\n"
    "\n"
    "Shows what the stream file FILE holds: the image size, the stream bytes\n"
    "and bits per pixel, the top threshold exponent, the three colour means\n"
    "and the colour matrix.\n"
    "\n"
    "example: quarn info photo.qrn\n";

const char kCompareHelp[] =
    "usage: quarn compare A B [--no-simd]\n"
    "\n"
    "Prints the PSNR of B against A over all three channels and for red,\n"
    "green and blue, and the largest absolute difference of one sample. A\n"
    "and B are images of one size; a stream file is decoded in full first.\n"
    "\n"
    "options:\n"
    "  --no-simd   decode with the scalar kernels only (same bytes, slower)\n"
    "\n"
    "example: quarn compare photo.png photo.qrn\n";

const char kLadderHelp[] =
    "usage: quarn ladder IN OUT.png [-r R,R,...] [-f png|ppm] [-v] [--no-simd]\n"
    "\n"
    "Encodes the image IN once at the highest rate, decodes the stream's\n"
    "prefix at every rate, prints a table of rate, bytes and PSNR, and\n"
    "writes one sheet of the decoded pictures side by side, each labelled\n"
    "with its rate, bytes and PSNR. Tiles sit left to right with an 8-pixel\n"
    "gutter around and between them and a 60-pixel label strip below. When\n"
    "OUT is \"-\" the sheet goes to stdout (PNG) and the table to stderr.\n"
    "\n"
    "options:\n"
    "  -r, --rates LIST    bits per pixel, comma-separated\n"
    "                      (default 0.02,0.05,0.1,0.25,0.5,1,2; default rates\n"
    "                      too low for a small image's header are left out)\n"
    "  -f, --format FMT    png or ppm, whatever OUT is called\n"
    "  -v, --verbose       report the sheet's size on stderr\n"
    "  --no-simd           use only the scalar kernels (same bytes, slower)\n"
    "\n"
    "example: quarn ladder photo.png ladder.png -r 0.05,0.2,1\n";

}  // namespace quarn
