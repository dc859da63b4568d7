// Full-screen grading pass: texture coordinates plus the position centred on
// the screen (-1..1), used for vignetting and lens effects. The final grade's
// other coordinates are linear over the quad, so they are made here once per
// corner instead of once per pixel: the grain tiled one texel per pixel and
// shifted by "offset", and the light leak's window, moved a little by the
// camera ("camView") but kept inside the texture (its border never shows).
attribute vec3 PosAttribute;
attribute vec2 TexAttribute;
uniform vec2 iResolution;
uniform float offset;
uniform vec2 camView;
varying vec2 uv;
varying vec2 screen;
varying vec2 grainUV;
varying vec2 leakUV;

void main()
{
    gl_Position = vec4(PosAttribute, 1.0);
    uv = TexAttribute;
    screen = PosAttribute.xy;
    grainUV = TexAttribute * (max(iResolution, vec2(1.0)) / 256.0) + vec2(offset, offset * 1.618);
    // 0.006 .. 0.994 for any camera: more than half a texel of the 256-texel
    // leak from either border, so bilinear filtering never reaches across.
    leakUV = TexAttribute * 0.79 + 0.105 + sin(camView * 0.4) * 0.099;
}
