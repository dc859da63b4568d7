// The final grade: the scene (tex0) with a glow from its blurred small copy
// (tex4), lens dirt (tex3) lit by that glow and a light leak (tex2), all
// screen-blended; the preset grade (per channel, at part strength, handed
// over ready to use: see below); a warm print look (amber highlights, cool
// shadows, an S-curve); a gentle vignette and film grain (tex1). "flareAmt"
// scales glow, dirt and leak together. post_uv.vs places the grain ("offset",
// changed on every shown frame) and the leak's window (moved by "camView").
// The images it expects: grain.jpg a tileable grey noise around mid grey,
// drawn one texel per pixel at 256 x 256; leak.tga a warm glow whose alpha
// says where it falls (not tileable: it is never sampled across its border);
// dirt.jpg mostly black with faint smudges and specks.
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
uniform float flareAmt;
// The preset at part strength, per channel: contrast about mid grey and a
// lift as one scale and offset, then the exponent as the curve
// c1 s + c2 s^2 + c3 s^3 of s = sqrt(x) ("curve1".."curve3": a software
// renderer pays more for pow).
uniform vec3 gradeScale;
uniform vec3 gradeOffset;
uniform vec3 curve1;
uniform vec3 curve2;
uniform vec3 curve3;
// Built twice more with a colour correction of the scene read first (the
// resource table's variants "lomofi.fs?CORRECT_SCENE" and
// "lomofi.fs?CORRECT_SCENE,CORRECT_GAMMA", which an edit of this file
// reloads with it): the scene x becomes
// clamp(x * correctScale + correctOffset, correctLimits.x, correctLimits.y)
// (a lift saturating at white, contrast and luminosity, worked out on the CPU)
// raised to the exponent whose curve is correctCurve (c1, c2, c3 as above).
#ifdef CORRECT_SCENE
uniform float correctScale;
uniform vec3 correctOffset;
uniform vec2 correctLimits;
#ifdef CORRECT_GAMMA
uniform vec3 correctCurve;
#endif
#endif
varying vec2 uv;
varying vec2 screen;
varying vec2 grainUV;
varying vec2 leakUV;

const float CastRemoval = 0.6;
const vec3 LumaWeights = vec3(0.2126, 0.7152, 0.0722);

// The exponent of each channel: below 1 lifts it, above 1 sinks it.
vec3 presetGrade(vec3 c)
{
    vec3 s = sqrt(clamp(c * gradeScale + gradeOffset, 0.0, 1.0));
    return ((curve3 * s + curve2) * s + curve1) * s;
}

void main()
{
    vec3 scene = texture2D(tex0, uv).rgb;
#ifdef CORRECT_SCENE
    scene = clamp(scene * correctScale + correctOffset, correctLimits.x, correctLimits.y);
#ifdef CORRECT_GAMMA
    vec3 root = sqrt(scene);
    scene = ((correctCurve.z * root + correctCurve.y) * root + correctCurve.x) * root;
#endif
#endif
    // The blurred copy is about 1.5 times brighter than the scene (two
    // pyramid passes). Weighted by its own brightness squared it blooms
    // lights and bright sky without fogging the mid tones; where it is
    // brighter than the sharp picture, light spills over dark surroundings
    // as a warm halation.
    vec3 blurred = texture2D(tex4, uv).rgb;
    float glow = dot(blurred, LumaWeights);
    vec3 spill = max(blurred * 0.62 - scene, 0.0) * vec3(0.35, 0.26, 0.18);
    vec3 bloom = (blurred * (glow * glow * 0.5) + spill) * flareAmt;

    vec3 dirt = texture2D(tex3, uv).rgb;
    bloom += dirt * (glow * glow * glow * 0.8 * flareAmt);

    // The leak's window (leakUV) follows the camera a little but stays inside
    // the texture: sampled across its border (the texture repeats) the
    // leak's bright edge would meet its dark one as a hard seam.
    vec4 leak = texture2D(tex2, leakUV);
    bloom += leak.rgb * vec3(1.0, 0.72, 0.45) * (leak.a * 0.2 * flareAmt);

    // Screen blend: light adds up toward white without clipping.
    vec3 c = 1.0 - (1.0 - scene) * (1.0 - min(bloom, vec3(1.0)));

    // The preset at part strength; the colour cast it gives a neutral grey of
    // the same brightness is then mostly taken out again, so its per-channel
    // contrast shapes the colours without tinting the whole frame.
    vec3 grey = vec3(dot(c, LumaWeights));
    c = presetGrade(c);
    grey = presetGrade(grey);
    c -= (grey - dot(grey, LumaWeights)) * CastRemoval;

    // Print look: shadows toward a cool teal, highlights toward amber, a
    // touch less saturation, then an S-curve for density.
    float luma = dot(c, LumaWeights);
    vec3 tint = mix(vec3(0.93, 1.0, 1.05), vec3(1.07, 1.0, 0.86), smoothstep(0.05, 0.75, luma));
    c = mix(vec3(luma), c, 0.9) * tint;
    c = clamp(c, 0.0, 1.0);
    c = mix(c, c * c * (3.0 - 2.0 * c), 0.35);

    // Vignette: the centre untouched, the corners down to about 70 %.
    float edge = dot(screen, screen);
    c *= 1.0 - 0.075 * edge * edge;

    // Grain strongest in the mid tones, as on film.
    float grain = texture2D(tex1, grainUV).r;
    c += (grain - 0.5) * (0.03 + 0.2 * luma * (1.0 - luma));

    gl_FragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
