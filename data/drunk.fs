// Drunken double vision: the picture swims and splits into a warm ghost.
// "time" is the strength from 0 (nothing, fully transparent) to 1; the pass
// is drawn alpha-blended over a sharp copy.
precision mediump float;
uniform sampler2D tex0;
uniform float time;
varying vec2 TexCoord0;

void main()
{
    float t = clamp(time, 0.0, 1.0);
    vec2 uv = TexCoord0;
    vec2 swim = vec2(sin(uv.y * 9.0 + t * 7.0), cos(uv.x * 7.0 + t * 5.0)) * 0.012 * t;
    vec2 split = vec2(0.018, 0.006) * t;
    vec3 a = texture2D(tex0, uv + swim + split).rgb;
    vec3 b = texture2D(tex0, uv + swim - split).rgb;
    vec3 c = mix(a, b, 0.5) * vec3(1.04, 1.0, 0.92);
    gl_FragColor = vec4(c, t * 0.85);
}
