// Bokeh blur: a golden-angle spiral of taps over a disc, turned by a
// per-pixel noise angle so the sparse taps blend into soft grain instead of
// a visible pattern. "scale" sets the disc radius, bright taps are favoured
// by "intensity" x "highlight" so lights bloom into discs. "factorPix" is how many screen pixels one target pixel
// covers, "factorTex" scales the texture coordinates.
// Texture coordinates need full precision: some drivers run mediump as
// 16-bit floats, which cannot address single pixels of a wide picture.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform vec2 iResolution;
uniform float scale;
uniform float intensity;
uniform float highlight;
uniform float factorPix;
uniform float factorTex;
varying vec2 TexCoord0;

// 16 taps: with the per-pixel turn and the film grain on top they read as
// a smooth disc; every further tap costs a software renderer a texture fetch
// per pixel of the half-size buffer (28 taps cost scene 2 about 7 ms a frame more
// at 640 x 360 on two cores).
const int Taps = 16;
// The golden angle as a rotation: each tap turns the previous direction
// instead of calling cos and sin per tap (software drivers pay dearly for those).
const vec2 Golden = vec2(-0.7373667, 0.6754927);   // (cos, sin) of 2.39996

void main()
{
    vec2 pixel = 1.0 / max(iResolution, vec2(1.0));
    vec2 centre = TexCoord0 * factorTex;
    float radius = scale * 16.0 * max(factorPix, 1.0);
    vec3 sum = vec3(0.0);
    float weights = 0.0;
    // Interleaved gradient noise: a different start angle for every pixel.
    float angle = 6.2832 * fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
    vec2 dir = vec2(cos(angle), sin(angle));
    float gain = intensity * highlight;
    for (int i = 0; i < Taps; i++) {
        dir = vec2(dir.x * Golden.x - dir.y * Golden.y, dir.x * Golden.y + dir.y * Golden.x);
        float r = radius * sqrt((float(i) + 0.5) / float(Taps));
        vec3 c = texture2D(tex0, centre + dir * (r * pixel)).rgb;
        float luma = dot(c, vec3(0.299, 0.587, 0.114));
        float l2 = luma * luma;
        float w = 1.0 + gain * l2 * l2;
        sum += c * w;
        weights += w;
    }
    gl_FragColor = vec4(sum / weights, 1.0);
}
