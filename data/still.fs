// Polished metal among duller parts (the copper still with its barrel,
// firebox and ground; the press). tex0 is an atlas of four quarters that shine
// less and less: top left fully polished metal (copper, enamel), top right
// semi-gloss (hooped staves, steel), bottom left a faint sheen (stones, brass),
// bottom right matte (earth, crate wood). Polish reflects the environment
// sphere (tex1) tinted by the surface colour, turning white at grazing angles;
// everything takes the diffuse light of the light sphere (tex2, looked up by
// the eye-space normal).
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

    vec3 colour = texture2D(tex0, uv).rgb;
    vec3 env = texture2D(tex1, sphereUV(r)).rgb;
    vec3 light = texture2D(tex2, n.xy * 0.48 + 0.5).rgb;

    // Polish by quarter, with soft edges so mipmaps do not seam.
    float right = smoothstep(0.49, 0.51, fract(uv.x));
    float top = smoothstep(0.49, 0.51, fract(uv.y));
    float metal = mix(mix(0.35, 0.0, right), mix(1.0, 0.6, right), top);
    float fresnel = pow(1.0 - facing, 4.0);
    vec3 tint = mix(colour * 1.8, vec3(1.0), fresnel * 0.5);
    vec3 shiny = colour * light * 0.8 + env * tint * 1.4 + light * tint * fresnel * 0.5;
    vec3 matte = colour * light * 1.35 + colour * 0.04;
    gl_FragColor = vec4(mix(matte, shiny, metal), 1.0);
}
