// Glazed stoneware and glass: the surface colour (tex1, the jug's wrap with its
// label; alpha 1 for glaze or paper, lower for clear glass) lit by the light
// sphere (tex2, looked up by the eye-space normal) under a glossy coat that
// reflects the environment sphere (tex0, looked up by the reflected ray).
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
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 world;

// Sphere-map coordinates of an eye-space direction.
vec2 sphereUV(vec3 r)
{
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    return r.xy / max(m, 0.0001) + 0.5;
}

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    float facing = max(dot(n, v), 0.0);
    vec3 r = reflect(-v, n);

    vec4 surface = texture2D(tex1, uv);
    vec3 light = texture2D(tex2, n.xy * 0.48 + 0.5).rgb;
    vec3 env = texture2D(tex0, sphereUV(r)).rgb;

    float glass = 1.0 - surface.a;
    float fresnel = 0.06 + 0.94 * pow(1.0 - facing, 4.0);
    vec3 diffuse = surface.rgb * light * (1.0 - 0.55 * glass);
    // The glaze keeps a soft sheen everywhere; glass reflects more at grazing angles.
    vec3 sheen = env * (0.16 + 0.7 * fresnel) * (1.0 + glass);
    // A tight highlight where the environment is brightest.
    float peak = max(max(env.r, env.g), env.b);
    vec3 spark = env * smoothstep(0.85, 1.0, peak) * 0.3;
    gl_FragColor = vec4(diffuse + sheen + spark, 1.0);
}
