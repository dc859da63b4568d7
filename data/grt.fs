// Greeting jugs: the glazed jug of env.fs whose label shows greeting number
// "grt" (0..15). tex1 is the greeting picture: its top half the jug's wrap
// without a label (squeezed to half height), its bottom half sixteen labels in
// a 4 x 4 grid, greeting g in column g mod 4, row g / 4. The label covers u
// 0.34..0.66 and file v 0.4512..0.6694 of the jug (file v runs down the jug
// and is flipped on load: uv.y = 1 - file v).
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
uniform float grt;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 world;

const vec2 labelLow = vec2(0.34, 0.4512);
const vec2 labelHigh = vec2(0.66, 0.6694);

vec2 sphereUV(vec3 r)
{
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    return r.xy / max(m, 0.0001) + 0.5;
}

// Where in the greeting picture (GL coordinates) the jug's point uv lies.
vec2 greetingUV(vec2 p)
{
    vec2 file = vec2(p.x, 1.0 - p.y);
    vec2 st = (file - labelLow) / (labelHigh - labelLow);
    if (st.x < 0.0 || st.x > 1.0 || st.y < 0.0 || st.y > 1.0)
        return vec2(file.x, 1.0 - file.y * 0.5);
    float g = clamp(floor(grt + 0.5), 0.0, 15.0);
    float column = mod(g, 4.0);
    float row = floor(g / 4.0);
    // Keep half a texel inside the cell so the neighbours never bleed in.
    st = clamp(st, vec2(0.002, 0.004), vec2(0.998, 0.996));
    vec2 picture = vec2((column + st.x) / 4.0, 0.5 + (row + st.y) / 8.0);
    return vec2(picture.x, 1.0 - picture.y);
}

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    if (!gl_FrontFacing) n = -n;
    float facing = max(dot(n, v), 0.0);
    vec3 r = reflect(-v, n);

    vec4 surface = texture2D(tex1, greetingUV(uv));
    vec3 light = texture2D(tex2, n.xy * 0.48 + 0.5).rgb;
    vec3 env = texture2D(tex0, sphereUV(r)).rgb;

    float fresnel = 0.06 + 0.94 * pow(1.0 - facing, 4.0);
    vec3 diffuse = surface.rgb * light;
    vec3 sheen = env * (0.16 + 0.7 * fresnel);
    float peak = max(max(env.r, env.g), env.b);
    vec3 spark = env * smoothstep(0.85, 1.0, peak) * 0.3;
    gl_FragColor = vec4(diffuse + sheen + spark, 1.0);
}
