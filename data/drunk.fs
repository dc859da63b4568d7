// Drunken double vision: the picture swims and splits into a warm ghost.
// "time" is the strength: 0 is nothing (fully transparent), the ghost is at
// full strength from 1, and the swimming keeps growing up to 3. The pass is
// drawn alpha-blended over a sharp copy.
// Texture coordinates need full precision: some drivers run mediump as
// 16-bit floats, which cannot address single pixels of a wide picture.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform float time;
varying vec2 TexCoord0;

void main()
{
    float t = clamp(time, 0.0, 1.0);
    float sway = clamp(time, 0.0, 3.0);
    vec2 uv = TexCoord0;
    vec2 swim = vec2(sin(uv.y * 9.0 + sway * 7.0), cos(uv.x * 7.0 + sway * 5.0)) * 0.012 * sway;
    vec2 split = vec2(0.018, 0.006) * t;
    vec3 a = texture2D(tex0, uv + swim + split).rgb;
    vec3 b = texture2D(tex0, uv + swim - split).rgb;
    vec3 c = mix(a, b, 0.5) * vec3(1.04, 1.0, 0.92);
    gl_FragColor = vec4(c, t * 0.85);
}
