// The final grade: the scene (tex0) with a glow from its blurred small copy
// (tex4), lens dirt (tex3) lit by that glow, a light leak (tex2) that drifts
// with the camera ("camView"), the preset grade ("luminosity", "contrast",
// "gamma", per channel), a warm filmic shoulder, a vignette and film grain
// (tex1, shifted by "offset" on every shown frame). "flareAmt" scales glow,
// dirt and leak together.
// The images it expects: grain.jpg a tileable grey noise around mid grey,
// drawn one texel per pixel at 256 x 256; leak.tga a warm glow whose alpha
// says where it falls; dirt.jpg mostly black with faint smudges and specks.
// Texture coordinates need full precision: some drivers run mediump as
// 16-bit floats, which cannot address single pixels of a wide picture.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
uniform sampler2D tex3;
uniform sampler2D tex4;
uniform vec2 iResolution;
uniform float offset;
uniform float flareAmt;
uniform vec4 luminosity;
uniform vec4 contrast;
uniform vec4 gamma;
uniform vec2 camView;
varying vec2 uv;
varying vec2 screen;

void main()
{
    vec3 scene = texture2D(tex0, uv).rgb;
    vec3 blurred = texture2D(tex4, uv).rgb;
    vec3 c = scene + blurred * blurred * 0.45 * flareAmt;

    float glow = dot(blurred, vec3(0.333));
    vec3 dirt = texture2D(tex3, uv).rgb;
    c += dirt * glow * glow * 0.7 * flareAmt;

    vec4 leak = texture2D(tex2, uv * 0.8 + 0.1 + camView * 0.04);
    c += leak.rgb * leak.a * 0.22 * flareAmt;

    c = (c - 0.5) * contrast.rgb + 0.5 + luminosity.rgb;
    // "gamma" is the exponent of each channel: below 1 lifts it, above 1 sinks it.
    c = pow(max(c, vec3(0.0)), gamma.rgb);

    // Filmic shoulder: highlights roll off instead of clipping; a warm cast.
    c = c * (1.0 + c * 0.12) / (1.0 + c * 0.28);
    c *= vec3(1.05, 1.0, 0.9);

    float edge = dot(screen, screen);
    c *= 1.0 - 0.28 * edge * edge;

    vec2 grainScale = max(iResolution, vec2(1.0)) / 256.0;
    float grain = texture2D(tex1, uv * grainScale + vec2(offset, offset * 1.618)).r;
    c += (grain - 0.5) * 0.09;

    gl_FragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
